/* SPDX-License-Identifier: MIT */
/*
 * zvplist.h - the profile list store: the profile record and list, the
 * profile property-list file of one printer model and user, and the
 * administration of its current and previous generation.
 *
 * Valid as C (C99 or later) and as C++. Every function has C linkage.
 * Link with `pkg-config --cflags --libs zvplist`. Includes libplist's
 * <plist/plist.h>: the dictionary accessors hand out libplist values.
 *
 * The functions with the ZVPList prefix work on the paths that the
 * process-wide path variables below point at; the caller sets them first.
 * They are not thread-safe: the path variables and the file-creation mask
 * are process-wide, so callers serialise their use of them. The functions
 * with the zvplist_ prefix (at the end) take the path as an argument and
 * may be called from several threads at once.
 *
 * Versions: the functions are dated by the package's version, the one
 * pkg-config and zvplist_version.h give ("since 0.5"), beside the symbol
 * node (ZVPLIST_1.2).
 *
 * Results follow the store's own contract: 0 for success and -1 for
 * failure, unless a function says otherwise. Nothing here prints or logs
 * anything.
 */
#ifndef ZVPLIST_H
#define ZVPLIST_H

#include <stdint.h>

#include <plist/plist.h>

#include "zvplist_version.h"

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

/* ---- One class, filtering and mapping ------------------------------- */

/* These read and write the same file as the whole-file functions, in the
 * same format. A class selector is 0 (RGB), 1 (SIM) or 2 (DST); any other
 * selector fails with -1 before anything is read, written or stored. A
 * path variable that is null or longer than 254 bytes fails with -1 before
 * anything is touched. A null list argument fails the same way. */

/* Reads the class `selector` of the current profile property list into
 * `list` (cleared by the caller), as the whole-file reader reads each
 * class; the other two classes need not be in the file. Returns 0, or -1
 * (file missing or unreadable, not a property list, the class dictionary
 * or one of its six sub-dictionaries missing) with `list` untouched. */
int32_t ZVPListReadProfile_Dict(ProfileList *list, int32_t selector);

/* As ZVPListReadProfile_Dict, but filtering while it reads: a record whose
 * `InMenu` is 2 is dropped (the records after it move up one slot each),
 * a record whose `InMenu` is 4 is read with `InMenu` 6. The count is then
 * set by the list normalisation to the records kept, which stay in file
 * order. Returns 0, or -1 with `list` untouched. */
int32_t ZVPListReadProfile_Dict_Pap(ProfileList *list, int32_t selector);

/* Replaces the class `selector` of the current profile property list with
 * `list` and keeps the other two classes as the file held them (read and
 * normalised; empty when the file is missing or unreadable). Afterwards
 * each non-null output holds its class as written: `list` for the selected
 * class, the read list for the others; they are filled also when the write
 * fails. `list` may be one of the outputs. Returns 0 when the file was
 * written; -1 when the write-access test refuses or the write fails (the
 * file is then left as it was). */
int32_t ZVPListWriteProfile_Dict(const ProfileList *list, int32_t selector, ProfileList *rgbOut,
                                 ProfileList *simOut, ProfileList *dstOut);

/* Mapping rule of one class, no file access. Fills `out` (cleared by the
 * caller) with, first, the records of `fileList` in state 2 or 4 (reported
 * by the last walk) that neither `base` nor `exclude` holds (same
 * `FileName` and `Location`), in file order; then every record of `base`
 * in order; at most 500 records, the rest are not copied. Sets out's
 * `iNum` to the number copied. Only the slots below each input's `iNum`
 * (taken within 0 to 500) count. `out` may be one of the inputs; it then
 * holds the result alone, the slots after it cleared. Does nothing when
 * any argument is null. */
void ZVPListMapping_Pap(const ProfileList *base, const ProfileList *fileList, ProfileList *out,
                        const ProfileList *exclude);

/* Reads the current profile property list into three local lists (a
 * missing or unreadable file counts as three empty lists) and applies the
 * mapping rule to each class: (rgbBase, file RGB, rgbOut, rgbExclude),
 * then SIM, then DST. Nothing is written. Returns 0; -1 only for a null
 * argument or an unusable path variable, with nothing touched. */
int32_t ZVPListMappingProfile_All_Pap(const ProfileList *rgbBase, const ProfileList *simBase,
                                      const ProfileList *dstBase, ProfileList *rgbOut,
                                      ProfileList *simOut, ProfileList *dstOut,
                                      const ProfileList *rgbExclude, const ProfileList *simExclude,
                                      const ProfileList *dstExclude);

/* After a passing write-access test, maps the three classes against the
 * current profile property list as ZVPListMappingProfile_All_Pap does and
 * writes the three mapped lists as the whole file, like
 * ZVPListWriteProfile_All. Returns 0 when the file was written; -1 when
 * the write-access test refuses (nothing is read or written) or the write
 * fails (the file is then left as it was). */
int32_t ZVPListWriteProfile_All_Pap(const ProfileList *rgbBase, const ProfileList *simBase,
                                    const ProfileList *dstBase, const ProfileList *rgbExclude,
                                    const ProfileList *simExclude, const ProfileList *dstExclude);

/* ---- The file's dictionaries ------------------------------------------ */

/* Hands out copies (plist_copy) of the "RGB", "SIM" and "DST" class
 * dictionaries of the current profile property list, in this order. The
 * caller owns every copy stored and frees each with plist_free.
 * Returns 0 with all three stored. Returns -1 with no output touched when
 * an output pointer is null or the file cannot be read or parsed; returns
 * -1 at the first class that is missing, and then the copies of the
 * classes before it HAVE been stored and are the caller's to free: set
 * the outputs to NULL before the call and free those that are not NULL. */
int32_t ZVPListMappingGetMainDict_FromPlist(plist_t *rgbDict, plist_t *simDict, plist_t *dstDict);

/* Hands out the six sub-dictionaries of the class dictionary `classDict`
 * and its count. Looks them up in the order IndexOnDevice, InMenu,
 * ProfileClass, FileName, ProfileName, Location and stores each one found;
 * at the first missing one (or one that is not a dictionary) returns -1,
 * keeping those stored before it. Then stores the "iNum" integer in
 * `*iNum` when the class dictionary holds one that fits 32 bits, else
 * leaves `*iNum` untouched, and returns 0. The sub-dictionaries are
 * BORROWED from `classDict`: valid as long as it is, never to be freed by
 * the caller. Returns -1 with nothing stored when `classDict` is not a
 * dictionary or an output pointer is null. */
int32_t ZVPListMappingGetSubDict(plist_t classDict, plist_t *indexOnDevice, plist_t *inMenu,
                                 plist_t *profileClass, plist_t *location, plist_t *fileName,
                                 plist_t *profileName, int32_t *iNum);

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

/* ---- Thread-safe access by path (since 0.3, ZVPLIST_1.1) -------------- */

/* The current profile property list of `user` and `model` in `folder`, by
 * the service's rule: FOLDER/USER-MODEL-profile.plist (a slash is put after
 * the folder when it has none). A NULL folder means the service's default
 * folder: one fixed when the library was built, else
 * $XDG_CONFIG_HOME/zvxpc/, else $HOME/.config/zvxpc/. Returns the path,
 * malloc'ed (free() it), or NULL with errno EINVAL (a NULL name, or a name
 * that holds '/' or is "." or "..": the service refuses to walk for it),
 * ENAMETOOLONG (the service's paths for these names would pass 255 bytes,
 * so it refuses them too) or ENOMEM. Touches no file. */
char *zvplist_path(const char *folder, const char *user, const char *model);

/* Reads the profile property list at `path` into the three lists, which
 * are replaced whole (the caller need not clear them) and normalised as
 * ZVPListReadProfile_All does. Returns 0, or -1 with all three lists
 * untouched (a NULL argument, a path longer than 254 bytes, a file missing,
 * unreadable or not a property list, a class or field dictionary
 * missing). When `error` is not NULL, *error gets a malloc'ed one-line
 * reason on failure (NULL when out of memory) and NULL on success. */
int zvplist_read(const char *path, ProfileList *rgb, ProfileList *sim, ProfileList *dst, char **error);

/* Writes the three lists as the whole profile property list at `path`, in
 * the format of ZVPListWriteProfile_All, replacing the file atomically
 * (new files get mode 0664 less the file-creation mask, which this does not
 * change; no write-access test is made). Returns 0, or -1 with the file as
 * it was; `error` as for zvplist_read. */
int zvplist_write(const char *path, const ProfileList *rgb, const ProfileList *sim, const ProfileList *dst,
                  char **error);

/* zvplist_path, zvplist_read and zvplist_write may run on several threads
 * at once: on different paths freely; on the same path a reader sees the
 * list as it was before a write or as the write left it, never a mixture. */

/* ---- The dialog's menu (since 0.5, ZVPLIST_1.2) ----------------------- */

/* 1 when an entry in menu state `in_menu` (enum ZVInMenu) is shown in the
 * print dialog's menu: ZV_INMENU_REPORTED, ZV_INMENU_KEPT_REPORTED and
 * ZV_INMENU_CLIENT; 0 for every other value. */
int zvplist_in_menu(int32_t in_menu);

/* The menu of one class as the dialog shows it: the slot numbers of the
 * entries of `list` that zvplist_in_menu shows, in slot order, the first
 * `max_slots` of them written to `slots`. Returns how many entries the
 * menu holds (more than `max_slots` when `slots` was too short), or -1
 * with errno EINVAL for a NULL list, or NULL slots with max_slots above 0.
 * ZV_PROFILE_SLOTS entries always suffice. */
int zvplist_menu(const ProfileList *list, int *slots, int max_slots);

/* The name of menu state `in_menu`: "empty", "listed", "reported", "kept",
 * "kept-reported", "client" or "kept-missing"; "unknown" for any other
 * value. A static text. */
const char *zvplist_state_name(int32_t in_menu);

#ifdef __cplusplus
}
#endif

#endif /* ZVPLIST_H */
