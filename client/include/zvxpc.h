/* SPDX-License-Identifier: MIT */
/* zvxpc.h: client library of zvxpcd, the profile helper service of the
 * colour inkjet print dialog.
 *
 * The service answers eight operations over a local stream socket; each
 * takes one request text (or none) and gives one reply text. This library
 * connects, frames the requests, reads and decodes the replies, and
 * composes the walk request. It never prints, never raises SIGPIPE, and
 * its descriptors are close-on-exec.
 *
 * Threads: a client may be used by one thread at a time (give each thread
 * its own client, or guard a shared one with a mutex); different clients
 * share nothing.
 *
 * A walk can take seconds (a silent printer costs its timeout and
 * retries), and one connection runs its requests one after the other: a
 * request sent behind a walk waits for the walk's end. A dialog must not
 * call zvxpc_call or zvxpc_walk on its user-interface thread: call them on
 * a worker thread, or use zvxpc_walk_send (zvxpc_send), zvxpc_flush and
 * zvxpc_receive from the event loop, watching zvxpc_fd for the events
 * zvxpc_events names. Those never wait. A dialog that walks two printers
 * at once uses a client for each: the service runs walks of different
 * profile lists side by side.
 *
 * Giving up on a walk (a timeout, or closing the client) does not stop
 * it: the service walks on, merges what it found into the profile list
 * and may change the menu after the client stopped waiting.
 *
 * Connection: the service closes a connection after an error reply, after
 * 10 minutes without a request, and when it stops (under socket
 * activation it starts again on the next connection). The library closes
 * its side after an error reply too, and when the stream can no longer be
 * trusted (a timeout, a frame that is no reply, a frame no request asked
 * for). zvxpc_call, zvxpc_walk, zvxpc_send and the other calls that send
 * find the connection closed, by either side, with no reply pending and
 * before any byte of their request was sent: they connect once more to the
 * same socket, without waiting, and go on; a reconnection that failed is
 * tried again by the next request. A request that may have reached the
 * service is never sent twice. So one client can serve a dialog for its
 * whole life.
 *
 * Versions: the library's functions and words are dated by the package's
 * version, the one pkg-config and zvxpc_version.h give ("since 0.4"); the
 * symbol node beside it (ZVXPC_1.2) is the ELF version of the functions.
 *
 * Valid C99 and C++. Link with `pkg-config --libs zvxpc`. */
#ifndef ZVXPC_H
#define ZVXPC_H

#include "zvxpc_version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The operation names, as the service knows them on the wire. */
#define ZVXPC_OP_IS_ADMIN "zvPListIsAdminProfile_XPC:reply:"        /* PATH: "TRUE" when writable */
#define ZVXPC_OP_SWAP "zvPListSwapProfile_XPC:reply:"               /* swap two generations */
#define ZVXPC_OP_EXIST "zvPListExistProfile_XPC:reply:"             /* PATH: "TRUE" when readable */
#define ZVXPC_OP_REMOVE "zvPListRemove_XPC:reply:"                  /* PATH: "TRUE" when removed */
#define ZVXPC_OP_WRITE_DICTIONARY "writeDictionaryToPlistFile_XPC:reply:" /* URL, body: replace */
#define ZVXPC_OP_WRITE_DATA "writeDataToPlistFile_XPC:reply:"       /* URL, piece: append to .dummy */
#define ZVXPC_OP_WRITE_DATA_RENAME "writeDataToPlistFileRename_XPC:reply:" /* URL: .dummy over URL */
#define ZVXPC_OP_WALK "mibwalk_XPC:reply:"                          /* walk a printer: "iRet=N" */
/* Beside the eight, since 0.4 (ZVXPC_1.2): */
#define ZVXPC_OP_WALK_EXPLAINED "mibwalkReason_XPC:reply:" /* the walk, "iRet=N" ZVXPC_REASON_MARKER REASON */
#define ZVXPC_OP_STATUS "serviceStatus_XPC:reply:"         /* no text: the service's status lines */
/* Since 0.5 (ZVXPC_1.3): */
#define ZVXPC_OP_WALK_CANCEL "cancelWalk_XPC:reply:" /* MODEL, USER markers: "TRUE" when a walk was cancelled */
#define ZVXPC_OP_WATCH "watchProfileLists_XPC:reply:" /* names, a path or no text: the next change */

/* The markers of the request texts.
 * Swap:  TYPE ZVXPC_MARKER_SWAP_TYPE CURRENT ZVXPC_MARKER_CURRENT_PATH
 *        PREVIOUS ZVXPC_MARKER_PREVIOUS_PATH; a path of ZVXPC_ABSENT_PATH
 *        is absent.
 * Write: URL ZVXPC_MARKER_URL_END BODY.
 * Walk:  MODEL ZVXPC_MARKER_MODEL_NAME USER ZVXPC_MARKER_USER_NAME, then
 *        each walk argument followed by ZVXPC_MARKER_WALK_ARGUMENT. */
#define ZVXPC_MARKER_SWAP_TYPE ":ARG_iSwapType"
#define ZVXPC_MARKER_CURRENT_PATH ":ARG_cFooCurrentString"
#define ZVXPC_MARKER_PREVIOUS_PATH ":ARG_cFooPrevString"
#define ZVXPC_ABSENT_PATH "NULL"
#define ZVXPC_MARKER_URL_END ":AddURL:END"
#define ZVXPC_MARKER_MODEL_NAME ":ModelName:END"
#define ZVXPC_MARKER_USER_NAME ":USErName:END"
#define ZVXPC_MARKER_WALK_ARGUMENT ":arg:"

/* The printer's colour-profile table: the root OID a walk gives after the
 * printer's address. A walk without it covers the default subtree
 * (1.3.6.1.2.1), finds no profile and answers "iRet=0": no profile is
 * added or removed, but as after any walk that did not report them, the
 * listed profiles leave the menu until a walk reports them again (InMenu
 * 2 becomes 1 and 4 becomes 3; those a client put there, 5, stay). */
#define ZVXPC_PROFILE_TABLE_OID "1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1"

/* The reply words: the file operations answer TRUE or FALSE, the walk
 * ZVXPC_WALK_RESULT followed by its decimal result. */
#define ZVXPC_REPLY_TRUE "TRUE"
#define ZVXPC_REPLY_FALSE "FALSE"
#define ZVXPC_WALK_RESULT "iRet="

/* The explained walk's reply: ZVXPC_WALK_RESULT, the decimal result, this
 * marker, then why the walk ended as it did, one line of UTF-8 (for a walk
 * that completed: what it found). It never carries a community, a pass
 * phrase or a key. */
#define ZVXPC_REASON_MARKER ":Reason:"

/* Since 0.5 the explained walk's reply ends in this marker and one word
 * telling what became of the profile list (zvxpc_walk_saved reads it):
 * saved, unchanged (it already held the merged lists), not-saved (the
 * walk's rows were merged but the file could not be written: the reason
 * says why), untouched (no merge: the request was refused or the walk's
 * process failed) or cancelled (zvxpc_walk_cancel). */
#define ZVXPC_LIST_MARKER ":List:"
#define ZVXPC_LIST_WORD_SAVED "saved"
#define ZVXPC_LIST_WORD_UNCHANGED "unchanged"
#define ZVXPC_LIST_WORD_NOT_SAVED "not-saved"
#define ZVXPC_LIST_WORD_UNTOUCHED "untouched"
#define ZVXPC_LIST_WORD_CANCELLED "cancelled"

/* What became of a walk's profile list, as zvxpc_walk_saved gives it. */
enum zvxpc_list_state {
  ZVXPC_LIST_SAVED = 0,
  ZVXPC_LIST_UNCHANGED = 1,
  ZVXPC_LIST_NOT_SAVED = 2,
  ZVXPC_LIST_UNTOUCHED = 3,
  ZVXPC_LIST_CANCELLED = 4
};

/* The watch's reply: KIND ":" PATH, one change of one profile list file:
 * "walk" (a walk saved it), "write" (a client wrote it), "rename" (a
 * client moved its temporary file over it), "swap" (a client swapped its
 * generations) or "remove" (a client removed it). An empty reply says
 * nothing changed for a while: send the watch again. */
#define ZVXPC_CHANGE_WALK "walk"
#define ZVXPC_CHANGE_WRITE "write"
#define ZVXPC_CHANGE_RENAME "rename"
#define ZVXPC_CHANGE_SWAP "swap"
#define ZVXPC_CHANGE_REMOVE "remove"

/* The status reply: one "NAME=VALUE" line for each of these names, in
 * this order; the folder comes last and runs to the end of the text (a
 * folder's name may hold a line feed). */
#define ZVXPC_STATUS_VERSION "version"                 /* zvxpcd's version, "0.5.0" */
#define ZVXPC_STATUS_BULK_REPETITIONS "bulk-repetitions" /* "auto", "0" (GETNEXT) or 1 to 100 */
#define ZVXPC_STATUS_WALKS_RUNNING "walks-running"     /* walks in progress now */
#define ZVXPC_STATUS_WALKS_WAITING "walks-waiting"     /* walks waiting for their turn */
/* Since 0.5: */
#define ZVXPC_STATUS_WALK_TIMEOUT "walk-timeout"       /* seconds one walk may take */
#define ZVXPC_STATUS_TOGGLES "toggles"                 /* the -C toggles in force, "" when none */
#define ZVXPC_STATUS_VERBOSE "verbose"                 /* "on" or "off" */
#define ZVXPC_STATUS_LOG "log"                         /* "journal", "stderr" or the log file */
#define ZVXPC_STATUS_PID "pid"                         /* the service's process id */
#define ZVXPC_STATUS_UPTIME "uptime"                   /* seconds since the service started */
#define ZVXPC_STATUS_WATCHES "watches"                 /* connections watching the lists now */
#define ZVXPC_STATUS_PREFERENCES_DIR "preferences-dir" /* the folder of the profile lists, ending in '/' */

/* One connection to the service. */
typedef struct zvxpc_client zvxpc_client;

/* Connects to the service. socket_path NULL: $ZVXPC_SOCKET when set and
 * not empty, else $XDG_RUNTIME_DIR/zvxpcd.sock. The new client, or NULL
 * with errno set when it cannot connect (ENOENT: no such socket,
 * ECONNREFUSED: nobody listens, ENAMETOOLONG: path too long for a socket,
 * EINVAL: no path can be chosen, ENOMEM). */
zvxpc_client *zvxpc_connect(const char *socket_path);

/* Closes the connection and frees the client. NULL is allowed. */
void zvxpc_close(zvxpc_client *client);

/* One request and its reply. op: an operation name such as
 * ZVXPC_OP_EXIST; text: the request text (UTF-8), NULL when absent;
 * timeout_ms < 0 waits for ever. 0 and a malloc'ed reply text in *reply
 * (free() it); -1 with errno set: ETIMEDOUT (the connection is closed, as
 * its late reply would be out of turn), ECONNRESET (the service closed the
 * connection before the reply came; the request is not sent again),
 * EPROTO (the service answered with an error frame; its message is
 * zvxpc_error's; the connection is closed; also the service's refusal of a
 * new connection, such as "too many connections"), EBADMSG (the service
 * sent what is no reply: a frame that is no reply frame, a reply text
 * holding a zero byte, or a frame while no request was pending, found
 * before anything was sent; the connection is closed), EMSGSIZE (request
 * over 16 MiB, nothing sent), EBUSY (replies of zvxpc_send requests still
 * pending), ENOTCONN (closed again by the service right after a
 * reconnection), ENOENT or ECONNREFUSED (the connection was closed and
 * reconnecting failed; the next request tries again), EINVAL, ENOMEM.
 * zvxpc_error gives the message. */
int zvxpc_call(zvxpc_client *client, const char *op, const char *text, int timeout_ms, char **reply);

/* The walk request composed from its parts: user and model name, and the
 * walk's arguments (snmpwalk-style, without the program-name slot, at
 * least one: the options, the printer's address, then
 * ZVXPC_PROFILE_TABLE_OID). *result gets N of the "iRet=N" reply. 0 or -1
 * as zvxpc_call, and EBADMSG when the reply is not "iRet=N". A user, model
 * or argument that the request cannot carry (a marker inside it, text that
 * is not UTF-8), or no argument at all (a walk of nothing would take every
 * listed profile out of the menu), gives -1 with EINVAL and nothing is
 * sent. */
int zvxpc_walk(zvxpc_client *client, const char *user, const char *model, int argc, const char *const *argv,
               int timeout_ms, int *result);

/* For event loops (GLib, Qt, libuv). None of these waits.
 *
 * zvxpc_fd: the connection's descriptor, to watch for the events
 * zvxpc_events names; -1 while the connection is closed (after an error
 * reply or a failure) until a send connects again, and then a new one:
 * ask again after each call.
 *
 * zvxpc_send: queues a request and writes what the socket takes at once;
 * the rest goes out through zvxpc_flush (or zvxpc_receive) as the socket
 * takes it. A reconnection does not wait either: while the service's
 * queue of new connections is full (it accepts none) the client is
 * connecting, zvxpc_events names POLLOUT, and each zvxpc_flush or
 * zvxpc_receive tries the connect once more (a local socket gives no
 * event when that queue gets room: its descriptor polls writable at once,
 * so a loop tries again as fast as it runs until then). 0, or -1 with
 * errno as zvxpc_call, and EAGAIN when requests queued earlier and not yet
 * written leave no room for this one (the queue holds one request of the
 * largest size, 16 MiB; nothing is queued: flush, then send again).
 *
 * zvxpc_events: the poll(2) events to wait for before the next
 * zvxpc_flush or zvxpc_receive: POLLOUT while connecting or while
 * requests are queued, POLLIN while replies are pending; 0 when nothing
 * is pending, or when the connection is closed (each pending request then
 * ends at once through zvxpc_receive). It changes with every call on the
 * client: ask again after each. -1 with EINVAL for a null client.
 *
 * zvxpc_flush: finishes the connect, then writes what the socket takes of
 * the queued requests: 0 when all is written, 1 when more remains (wait
 * for POLLOUT), -1 with errno when the connection failed (ECONNRESET: the
 * service closed it; the connect's errno). After a failure nothing more is
 * written; each pending request ends through zvxpc_receive, with the
 * reply the service sent before it closed, else ECONNRESET (the connect's
 * errno for requests that never went out).
 *
 * zvxpc_receive: flushes as zvxpc_flush does, then collects the next reply
 * without blocking: 0 with a malloc'ed *reply, 1 when the reply is not
 * complete yet, -1 with errno as zvxpc_call (ENOMSG: no request pending).
 * Replies come in request order, and one read may bring several: each
 * time the descriptor is readable, call zvxpc_receive until it returns 1
 * (or -1 with ENOMSG once every reply is in). Every request sent ends in
 * exactly one 0 or one -1 other than ENOMSG: after an error reply (EPROTO)
 * the connection is closed, and each request still pending then ends with
 * -1 and ECONNRESET, one call each, without waiting.
 *
 * zvxpc_events and zvxpc_flush are in the library since 0.3 (ZVXPC_1.1);
 * zvxpc_send before 0.3 waited until its request was written. */
int zvxpc_fd(const zvxpc_client *client);
int zvxpc_send(zvxpc_client *client, const char *op, const char *text);
int zvxpc_events(const zvxpc_client *client);
int zvxpc_flush(zvxpc_client *client);
int zvxpc_receive(zvxpc_client *client, char **reply);

/* The walk request of zvxpc_walk, composed and checked the same way (-1
 * with EINVAL and nothing sent when it cannot be carried), then sent
 * without waiting as zvxpc_send does; 0, or -1 with errno as zvxpc_send.
 * Its reply comes through zvxpc_receive; read it with zvxpc_walk_result.
 * Since 0.3 (ZVXPC_1.1). */
int zvxpc_walk_send(zvxpc_client *client, const char *user, const char *model, int argc,
                    const char *const *argv);

/* The walk result N of a walk's reply text "iRet=N" into *result: 0, or -1
 * with EBADMSG when the reply is not "iRet=N" (*result untouched), EINVAL
 * for a null argument. Since 0.3 (ZVXPC_1.1). */
int zvxpc_walk_result(const char *reply, int *result);

/* The explained walk: the walk of zvxpc_walk, composed and checked the
 * same way, sent as ZVXPC_OP_WALK_EXPLAINED, whose reply also says why the
 * walk ended as it did. *result gets N and *reason the reason, as
 * zvxpc_walk_reason gives them. 0 or -1 as zvxpc_walk. A service older
 * than the operation answers with an error reply (EPROTO, "unknown
 * operation: ..."; the connection is closed and the next request makes a
 * new one): send the walk again with zvxpc_walk. Since 0.4 (ZVXPC_1.2). */
int zvxpc_walk_explain(zvxpc_client *client, const char *user, const char *model, int argc,
                       const char *const *argv, int timeout_ms, int *result, char **reason);

/* The explained walk sent without waiting, as zvxpc_walk_send sends the
 * walk; read its reply with zvxpc_walk_reason. Since 0.4 (ZVXPC_1.2). */
int zvxpc_walk_explain_send(zvxpc_client *client, const char *user, const char *model, int argc,
                            const char *const *argv);

/* The result and the reason of a walk's reply: "iRet=N"
 * ZVXPC_REASON_MARKER "REASON" gives N in *result and a malloc'ed copy of
 * REASON (one line; empty when the service gave none) in *reason (free()
 * it); a plain "iRet=N", the reply of ZVXPC_OP_WALK, gives N and NULL. 0,
 * or -1 with EBADMSG when the reply is neither (*result and *reason
 * untouched), EINVAL for a null argument, ENOMEM. Since 0.4 (ZVXPC_1.2). */
int zvxpc_walk_reason(const char *reply, int *result, char **reason);

/* The value of the field `name` (ZVXPC_STATUS_VERSION and the others) of
 * the status reply, the reply of ZVXPC_OP_STATUS sent without text, as a
 * malloc'ed text in *value (free() it). The folder of the profile lists,
 * ZVXPC_STATUS_PREFERENCES_DIR, is where the service reads and writes
 * them, which differs from zvxpc_preferences_dir when the service was
 * started with --preferences-dir. 0, or -1 with ENOENT when the reply has
 * no such field (an older service), EBADMSG when the reply is not status
 * lines, EINVAL for a null argument, ENOMEM. Since 0.4 (ZVXPC_1.2). */
int zvxpc_status_field(const char *reply, const char *name, char **value);

/* What became of the profile list of the explained walk whose reply is
 * `reply`: one of enum zvxpc_list_state in *list. 0; -1 with ENOENT when
 * the reply does not say (a plain walk's reply, or a service older than
 * 0.5), EBADMSG when it is no walk reply, EINVAL for a null argument.
 * A walk whose result is 0 and whose list is ZVXPC_LIST_NOT_SAVED found
 * its rows but could not keep them; zvxpc_walk_reason gives the service's
 * reason. Since 0.5 (ZVXPC_1.3). */
int zvxpc_walk_saved(const char *reply, int *list);

/* Cancels the walks of the profile list of `user` and `model`: the one
 * running (its process is killed, nothing is merged, and its reply, which
 * comes to the connection that asked for it, says
 * ZVXPC_LIST_WORD_CANCELLED with iRet=1) and those waiting for their turn
 * (they end the same way when their turn comes, without walking). A
 * client's walk is pending on its own connection, so the cancel goes out
 * on a short connection of its own to the same socket, waiting up to
 * timeout_ms (< 0: for ever); `client` itself is left as it is. 0 when a
 * walk was cancelled; -1 with ESRCH when no walk of that list ran or
 * waited, else errno as zvxpc_call. A connection that closes while its
 * walk runs does not cancel it. Since 0.5 (ZVXPC_1.3). */
int zvxpc_walk_cancel(zvxpc_client *client, const char *user, const char *model, int timeout_ms);

/* Asks to be told of the next change of a profile list, without waiting,
 * as zvxpc_send does: of the lists of `user` and `model` (both NULL: of
 * every list in the service's folder), or of the file at `path`
 * (zvxpc_watch_path_send). The reply comes through zvxpc_receive when a
 * list changes (read it with zvxpc_watch_change), one reply for each
 * change, in order: a change that happens between two watches waits for
 * the next. A connection that watches is busy until its reply: use a
 * client of its own for watching. -1 with errno as zvxpc_send, and EINVAL
 * for names the request cannot carry. Since 0.5 (ZVXPC_1.3). */
int zvxpc_watch_send(zvxpc_client *client, const char *user, const char *model);
int zvxpc_watch_path_send(zvxpc_client *client, const char *path);

/* Reads a watch's reply: 0 with the change's kind (ZVXPC_CHANGE_WALK and
 * the others) and the file's path as malloc'ed texts in *kind and *path
 * (free() them); 1 when nothing changed for a while (the empty reply;
 * send the watch again); -1 with EBADMSG for another reply, EINVAL for a
 * null argument, ENOMEM. Since 0.5 (ZVXPC_1.3). */
int zvxpc_watch_change(const char *reply, char **kind, char **path);

/* The last error's message, in English, one line ("" when none); valid
 * until the next call on this client. */
const char *zvxpc_error(const zvxpc_client *client);

/* The folder of the profile property lists by the same rule as the
 * service's default, ending in a slash: a folder fixed when the library was
 * built, else $XDG_CONFIG_HOME/zvxpc/, else $HOME/.config/zvxpc/. Read anew
 * on every call; the text stays valid until the next call in the same
 * thread. NULL when out of memory. The folder the running service uses is
 * the ZVXPC_STATUS_PREFERENCES_DIR field of its status reply. */
const char *zvxpc_preferences_dir(void);

#ifdef __cplusplus
}
#endif

#endif /* ZVXPC_H */
