// Files that other programs read, such as the /tmp outputs: built whole in a
// fresh temporary file beside the final name, then renamed over it, so that a
// reader sees the old file or the new one and never part of one.
#pragma once

#include <cstddef>

// Replaces `path` with the `len` bytes of `text` through the temporary name
// `tmp`, in the same directory:
//   - a stale file, link or FIFO at `tmp` is unlinked (never followed), then
//     `tmp` is created exclusively, without following a link (mode 0644);
//   - the bytes go out in one write, and a short write is a failure;
//   - the close is checked, then `tmp` is renamed over `path`, which replaces
//     whatever is there (a link or a FIFO included) without opening it.
// Returns 0, or the errno value of the step that failed (ENOSPC for a short
// write, which leaves no errno of its own). On failure `tmp` is removed and
// `path` is left as it was. Reports nothing: the caller decides.
int publish(const char *tmp, const char *path, const char *text, size_t len);
