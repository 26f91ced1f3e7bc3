#include "publish.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int fail(const char *tmp, int error) {
    unlink(tmp);
    return error;
}

} // namespace

int publish(const char *tmp, const char *path, const char *text, size_t len) {
    // A stale temporary file, or anything planted under its name, goes first:
    // unlink removes a link itself, never what it points to.
    if (unlink(tmp) != 0 && errno != ENOENT)
        return errno;
    int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno; // never created, so nothing to remove
    ssize_t written = write(fd, text, len);
    if (written < 0) {
        int error = errno;
        close(fd);
        return fail(tmp, error);
    }
    if (static_cast<size_t>(written) != len) {
        close(fd);
        return fail(tmp, ENOSPC);
    }
    if (close(fd) != 0)
        return fail(tmp, errno);
    if (rename(tmp, path) != 0)
        return fail(tmp, errno);
    return 0;
}
