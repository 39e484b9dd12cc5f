/* SPDX-License-Identifier: MIT */
/*
 * The public header as C: compiled as C11 with pedantic warnings as
 * errors, this program uses the record and list types, writes and reads a
 * profile list through libzvplist.so, reads the dialog's menu from a list
 * and the version from the header, and checks that the library exports
 * the public interface and nothing else.
 */
#define _GNU_SOURCE /* dlvsym */

#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "zvplist.h"

_Static_assert(sizeof(ProfileRecord) == 84, "record layout");
_Static_assert(offsetof(ProfileRecord, Location) == 76, "record layout");
_Static_assert(sizeof(ProfileList) == 42004, "list layout");

static ProfileList rgb, sim, dst, back_rgb, back_sim, back_dst;
static int failures;

static void expect(int condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

static void round_trip(const char *dir) {
    char path[ZV_PLIST_PATH_BUFFER_SIZE];
    snprintf(path, sizeof path, "%s/c-profile.plist", dir);
    rgb.slots[0].IndexOnDevice = -12;
    rgb.slots[0].InMenu = ZV_INMENU_REPORTED;
    strcpy(rgb.slots[0].FileName, "c.icc");
    rgb.iNum = 1;
    ZV_PLIST_PROFILE_PATH = path;
    expect(ZVPListIsAdminProfile() == 1, "write-access test");
    expect(ZVPListWriteProfile_All(&rgb, &sim, &dst) == 0, "write");
    expect(ZVPListReadProfile_All(&back_rgb, &back_sim, &back_dst) == 0, "read");
    expect(memcmp(&rgb, &back_rgb, sizeof rgb) == 0, "RGB read back equal");
    expect(back_sim.iNum == 0 && back_dst.iNum == 0, "empty classes");
    expect(ZVPListExistProfile() == 1, "exists");
    expect(ZVPListRemove(3) == 1, "removed");
    ZV_PLIST_PROFILE_PATH = NULL;
}

/* The menu shows states 2, 4 and 5 in slot order; every other state, and
 * the values no state has, stay out. */
static void menu(void) {
    static ProfileList list;
    const int states[] = {5, 0, 2, 1, 4, 3, 6, 7, -1};
    const int expected[] = {0, 2, 4};
    int slots[ZV_PROFILE_SLOTS];
    int i;
    for (i = 0; i < (int)(sizeof states / sizeof states[0]); ++i) list.slots[i].InMenu = states[i];
    expect(zvplist_menu(&list, slots, ZV_PROFILE_SLOTS) == 3, "three entries in the menu");
    expect(memcmp(slots, expected, sizeof expected) == 0, "the menu's slots in order");
    expect(zvplist_menu(&list, slots, 1) == 3 && slots[0] == 0, "a short array gets the first entries");
    expect(zvplist_menu(NULL, slots, 1) == -1, "no list");
    expect(strcmp(zvplist_state_name(ZV_INMENU_KEPT_REPORTED), "kept-reported") == 0, "state name");
    expect(strcmp(zvplist_state_name(7), "unknown") == 0, "no state's name");
}

/* The version macros are the project's version. */
static void version(void) {
    char text[32];
    snprintf(text, sizeof text, "%d.%d.%d", ZVPLIST_VERSION_MAJOR, ZVPLIST_VERSION_MINOR, ZVPLIST_VERSION_PATCH);
    expect(strcmp(text, ZVXPC_VERSION) == 0, "ZVPLIST_VERSION_* give the project's version");
    expect(ZVPLIST_CHECK_VERSION(0, 5, 0) && !ZVPLIST_CHECK_VERSION(ZVPLIST_VERSION_MAJOR + 1, 0, 0) &&
               !ZVPLIST_CHECK_VERSION(ZVPLIST_VERSION_MAJOR, ZVPLIST_VERSION_MINOR, ZVPLIST_VERSION_PATCH + 1),
           "ZVPLIST_CHECK_VERSION");
}

static void exports(const char *library) {
    void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    expect(handle != NULL, "dlopen libzvplist");
    if (handle == NULL) return;
    expect(dlsym(handle, "ZVPListReadProfile_All") != NULL, "ZVPListReadProfile_All exported");
    expect(dlsym(handle, "ZVPlistCheckWithInMenu_Dict") != NULL, "ZVPlistCheckWithInMenu_Dict exported");
    expect(dlsym(handle, "ZV_PLIST_PROFILE_PREV_PATH") != NULL, "ZV_PLIST_PROFILE_PREV_PATH exported");
    expect(dlvsym(handle, "zvplist_menu", "ZVPLIST_1.2") != NULL, "zvplist_menu exported as ZVPLIST_1.2");
    expect(dlsym(handle, "cFileNameKey") == NULL, "cFileNameKey kept local");
    expect(dlsym(handle, "_ZN2zv15TestWriteAccessEPKc") == NULL, "zv::TestWriteAccess kept local");
    dlclose(handle);
}

int main(int argc, char **argv) {
    char dir[] = "/tmp/zvplist-c-XXXXXX";
    if (mkdtemp(dir) == NULL) return 2;
    round_trip(dir);
    menu();
    version();
    rmdir(dir);
    if (argc > 1) exports(argv[1]);
    if (failures == 0) puts("all passed");
    return failures == 0 ? 0 : 1;
}
