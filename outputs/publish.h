// Files that other programs read, such as the /tmp outputs: built whole in a
// fresh file beside the final name, then renamed over it, so that a reader
// sees the old file or the new one and never part of one.
//
// /tmp is world-writable and may hold anything: a second writer of the same
// output (a hubpoll started by hand beside cron's), or whatever a local user
// plants there. So no writer ever uses a name another one could, nothing is
// ever opened through a name that was already there, and a file left by a
// writer that was killed is removed by the next one.
#pragma once

#include <cstddef>
#include <cstdint>

// Replaces `path` with the `len` bytes of `text`. The fresh file is built in
// the directory of `tmp`, which must be that of `path`, and named, only for
// the instant of the rename, "TMP.PID.NONCE": this process's id and a number
// no one else can guess.
//   - Where the kernel has unnamed files (O_TMPFILE, since Linux 3.11) the
//     bytes go into one and it is given its name only to be renamed; elsewhere
//     the name is created exclusively, never following a link. Either way the
//     file has mode 0644 (less the umask) and a name that is taken already is
//     passed over for another.
//   - The bytes go out in one write, and a short write is a failure; the close
//     is checked.
//   - From the name to the rename every signal that can be held is held, so
//     that a program stopped by one leaves no name behind.
//   - The rename replaces whatever is at `path` (a link or a FIFO included)
//     without opening it; an empty directory there is removed first.
//   - Before the first write of each `tmp` in a process, the names
//     "TMP.PID.*" of writers that are gone (no process PID) are removed, if
//     they are regular files of this user: only a writer killed between
//     naming and renaming leaves one.
// Returns 0, or the errno value of the step that failed (ENOSPC for a short
// write, which leaves no errno of its own). On failure nothing of the attempt
// is left and `path` is as it was. Reports nothing: the caller decides.
int publish(const char *tmp, const char *path, const char *text, size_t len);

// The way publish() takes where the kernel has no unnamed files: a fresh name
// created exclusively, without following a link. Tests call it directly.
int publish_named(const char *tmp, const char *path, const char *text, size_t len);

// The number that makes each name unguessable: a fresh one on every call
// (nonce.cpp). Tests that plant at the names replace it at link time.
uint32_t publish_nonce();
