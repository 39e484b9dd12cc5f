/*
 * zvplist.h - the profile list store: the profile record and list, the
 * profile property-list file of one printer model and user, and the
 * administration of its current and previous generation.
 *
 * Valid as C (C99 or later) and as C++. Every function has C linkage.
 * Link with `pkg-config --cflags --libs zvplist`.
 *
 * All functions that touch a file work on the paths that the process-wide
 * path variables below point at; the caller sets them first. Results follow
 * the store's own contract: 0 for success and -1 for failure, unless a
 * function says otherwise. Nothing here prints or logs anything.
 *
 * Not thread-safe: the path variables and the file-creation mask are
 * process-wide, so callers serialise their use of the store.
 */
#ifndef ZVPLIST_H
#define ZVPLIST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Slots in one profile list (slot numbers 0 to 499). */
#define ZV_PROFILE_SLOTS 500
/* Size of a name field: at most 31 bytes of text and a terminating zero. */
#define ZV_PROFILE_NAME_SIZE 32
/* Size of the buffer a path is copied into: at most 254 bytes of path. */
#define ZV_PLIST_PATH_BUFFER_SIZE 255
/* Index the merge gives an entry that stays in its list without a device index. */
#define ZV_INDEX_KEPT_WITHOUT_DEVICE 501

/* Profile classes: the three lists always travel in this order. */
enum ZVProfileClassSelector {
    ZV_CLASS_RGB = 0,
    ZV_CLASS_SIM = 1,
    ZV_CLASS_DST = 2
};

/* Menu state of a slot (`InMenu`). An entry only ever moves within one of
 * the groups {1, 2, 5} and {3, 4, 6}, or has its slot emptied. */
enum ZVInMenu {
    ZV_INMENU_EMPTY = 0,          /* the slot is empty */
    ZV_INMENU_LISTED = 1,         /* listed; the last successful walk did not report it */
    ZV_INMENU_REPORTED = 2,       /* the last walk reported it (or added it) */
    ZV_INMENU_KEPT = 3,           /* kept entry; not reported by the last walk */
    ZV_INMENU_KEPT_REPORTED = 4,  /* kept entry; the last walk reported it */
    ZV_INMENU_CLIENT = 5,         /* put there by a client; kept until a walk reports it */
    ZV_INMENU_KEPT_MISSING = 6    /* kept entry that a walk missed or that lost its device index */
};

/* One profile slot. Names are zero-terminated within their 32 bytes and
 * every byte after the terminator is zero, so names compare alike as
 * strings and as whole fields. `ProfileAvailability` lives in memory only. */
typedef struct ProfileRecord {
    int32_t IndexOnDevice;
    int32_t InMenu;
    int32_t ProfileClass;
    char FileName[ZV_PROFILE_NAME_SIZE];
    char ProfileName[ZV_PROFILE_NAME_SIZE];
    int32_t Location;
    int32_t ProfileAvailability;
} ProfileRecord;

/* A fixed table of 500 slots and the count of used ones (`InMenu` not 0). */
typedef struct ProfileList {
    ProfileRecord slots[ZV_PROFILE_SLOTS];
    int32_t iNum;
} ProfileList;

/* Paths of the current, previous and spool profile property list: each
 * points at a zero-terminated path, or is null (the state at start). The
 * walk request points them at its own buffers for the length of a walk. */
extern char *ZV_PLIST_PROFILE_PATH;
extern char *ZV_PLIST_PROFILE_PREV_PATH;
extern char *ZV_PLIST_PROFILE_SPOOL_PATH;

/* ---- The list ---------------------------------------------------------- */

/* List normalisation: counts the used slots over all 500; when the count
 * differs from `iNum`, clears every slot from the count up to 499 and sets
 * `iNum` to the count. Trusts that used slots stand at the front. */
void ZVPlistCheckWithInMenu_Dict(ProfileList *list);

/* ---- The whole file ---------------------------------------------------- */

/* Reads the current profile property list into three lists that the caller
 * has cleared; fills only fields that the file holds, then normalises each
 * list. Returns 0, or -1 (path variable null or longer than 254 bytes, file
 * missing or unreadable, not a property list, a class dictionary or one of
 * its six sub-dictionaries missing) with all three lists untouched. */
int32_t ZVPListReadProfile_All(ProfileList *rgb, ProfileList *sim, ProfileList *dst);

/* Writes three lists as the whole current profile property list (XML, all
 * 500 slots of every class), replacing the file atomically. Returns 0, or
 * -1 when the write-access test refuses or the file cannot be written; the
 * file is then left as it was. */
int32_t ZVPListWriteProfile_All(const ProfileList *rgb, const ProfileList *sim,
                                const ProfileList *dst);

/* ---- File administration ----------------------------------------------- */

/* Write-access test on the current profile property list: 1 when it exists
 * and can be opened for writing, or is missing and its directory lets the
 * process create it; else 0. Leaves the file system as it found it and the
 * file-creation mask at 002. */
int ZVPListIsAdminProfile(void);

/* Swap of the two generations, after a passing write-access test:
 * 2 copies current over previous, 1 removes previous, 0 moves previous
 * over current; any other type does nothing. */
void ZVPListSwapProfile(int type);

/* 1 when the current profile property list passes the write-access test
 * and can be opened for reading, else 0. */
uint8_t ZVPListExistProfile(void);

/* After a passing write-access test, removes the current (selector 3) or
 * previous (selector 2) profile property list. 1 when it was removed;
 * 0 otherwise, and for any other selector. */
uint8_t ZVPListRemove(int selector);

/* ---- Passes of the merge on one list ---------------------------------- */

/* Cleaning: every slot without device index and with a file name is kept as
 * index 501 / `InMenu` 3 when its `InMenu` is 3 or 4, else cleared (`iNum`
 * one less). */
void ZVPListCleanProfile_Dict(ProfileList *list);

/* Compaction: moves used slots down over empty ones, keeping their order;
 * `iNum` is not changed. */
void ZVPListPaddingProfile_Dict(ProfileList *list);

/* Salvage: every slot with a device index, a file name and `InMenu` 3 gets
 * `InMenu` 6. */
void ZVPListSalvage_Dict(ProfileList *list);

#ifdef __cplusplus
}
#endif

#endif /* ZVPLIST_H */
