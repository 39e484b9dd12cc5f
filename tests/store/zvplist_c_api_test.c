/* SPDX-License-Identifier: MIT */
/*
 * The public header as C: compiled as C11 with pedantic warnings as
 * errors, this program uses the record and list types, writes and reads a
 * profile list through libzvplist.so, and checks that the library exports
 * the public interface and nothing else.
 */
#define _POSIX_C_SOURCE 200809L

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

static void exports(const char *library) {
    void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    expect(handle != NULL, "dlopen libzvplist");
    if (handle == NULL) return;
    expect(dlsym(handle, "ZVPListReadProfile_All") != NULL, "ZVPListReadProfile_All exported");
    expect(dlsym(handle, "ZVPlistCheckWithInMenu_Dict") != NULL, "ZVPlistCheckWithInMenu_Dict exported");
    expect(dlsym(handle, "ZV_PLIST_PROFILE_PREV_PATH") != NULL, "ZV_PLIST_PROFILE_PREV_PATH exported");
    expect(dlsym(handle, "cFileNameKey") == NULL, "cFileNameKey kept local");
    expect(dlsym(handle, "_ZN2zv15TestWriteAccessEPKc") == NULL, "zv::TestWriteAccess kept local");
    dlclose(handle);
}

int main(int argc, char **argv) {
    char dir[] = "/tmp/zvplist-c-XXXXXX";
    if (mkdtemp(dir) == NULL) return 2;
    round_trip(dir);
    rmdir(dir);
    if (argc > 1) exports(argv[1]);
    if (failures == 0) puts("all passed");
    return failures == 0 ? 0 : 1;
}
