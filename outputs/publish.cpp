#include "publish.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Room for the directory, the prefix and ".PID.NONCE".
constexpr size_t name_max = 256;
// Names taken already are passed over; this many in a row is no accident.
constexpr int name_tries = 16;

// The directory part of `tmp`, "." when it has none.
bool directory_of(const char *tmp, char *dir) {
    const char *slash = strrchr(tmp, '/');
    if (slash == nullptr)
        return snprintf(dir, name_max, ".") > 0;
    size_t len = slash == tmp ? 1 : static_cast<size_t>(slash - tmp);
    if (len >= name_max)
        return false;
    memcpy(dir, tmp, len);
    dir[len] = '\0';
    return true;
}

// "TMP.PID.NONCE".
bool fresh_name(const char *tmp, char *name) {
    int len = snprintf(name, name_max, "%s.%ld.%08x", tmp, static_cast<long>(getpid()),
                       static_cast<unsigned>(publish_nonce()));
    return len > 0 && static_cast<size_t>(len) < name_max;
}

// The writer's process id in a name "BASE.PID.NONCE" of `base`, or 0 when the
// name is not one of them.
long writer_of(const char *name, const char *base) {
    size_t len = strlen(base);
    if (strncmp(name, base, len) != 0 || name[len] != '.')
        return 0;
    const char *p = name + len + 1;
    long pid = 0;
    for (; *p >= '0' && *p <= '9' && pid < 100000000; p++)
        pid = pid * 10 + (*p - '0');
    if (*p != '.')
        return 0;
    int digits = 0;
    for (p++; (*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'); p++)
        digits++;
    return *p == '\0' && digits == 8 ? pid : 0;
}

bool gone(long pid) {
    return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Removes the names that writers of `tmp` left when they were killed between
// naming and renaming: regular files of this user whose process is gone.
void remove_stale(const char *tmp, const char *dir) {
    const char *slash = strrchr(tmp, '/');
    const char *base = slash == nullptr ? tmp : slash + 1;
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return; // the write that follows fails and says why
    // Read with the system call itself: the C library's directory stream
    // would take its buffer from the heap.
    alignas(8) static char entries[2048];
    for (long got; (got = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0;) {
        for (long at = 0; at < got;) {
            // struct linux_dirent64: ino 8, off 8, reclen 2, type 1, name.
            uint16_t reclen;
            memcpy(&reclen, entries + at + 16, sizeof reclen);
            const char *name = entries + at + 19;
            at += reclen;
            long pid = writer_of(name, base);
            struct stat st;
            if (pid > 0 && gone(pid) && fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode) && st.st_uid == geteuid())
                unlinkat(fd, name, 0);
        }
    }
    close(fd);
}

// Each prefix is cleaned before its first write in this process: a killed
// writer leaves at most one name, and only a restart can find it.
void clean_once(const char *tmp, const char *dir) {
    static char cleaned[4][name_max]; // a program has two outputs at most
    for (const char *done : cleaned)
        if (strcmp(done, tmp) == 0)
            return;
    remove_stale(tmp, dir);
    for (char *slot : cleaned) {
        if (slot[0] == '\0') {
            snprintf(slot, name_max, "%s", tmp);
            return;
        }
    }
}

// The bytes in one write; a short write is a failure.
int write_whole(int fd, const char *text, size_t len) {
    ssize_t written = write(fd, text, len);
    if (written < 0)
        return errno;
    return static_cast<size_t>(written) == len ? 0 : ENOSPC;
}

// Renames `name` over `path`; an empty directory there is removed first, as
// nothing of anyone's is lost with it.
int rename_over(const char *name, const char *path) {
    if (rename(name, path) == 0)
        return 0;
    int error = errno;
    if (error == EISDIR && rmdir(path) == 0 && rename(name, path) == 0)
        return 0;
    return error;
}

// Every signal that can be held waits from the naming to the rename.
struct held_signals {
    sigset_t before;
};

void hold_signals(held_signals &h) {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &h.before);
}

void release_signals(const held_signals &h) {
    sigprocmask(SIG_SETMASK, &h.before, nullptr);
}

// Calls `take(name)` with fresh names until one was not taken already
// (EEXIST): its result, 0 when `name` is the writer's now.
template <typename Take> int take_fresh_name(const char *tmp, char *name, Take take) {
    int error = EEXIST;
    for (int k = 0; k < name_tries && error == EEXIST; k++)
        error = fresh_name(tmp, name) ? take(name) : ENAMETOOLONG;
    return error;
}

// The unnamed file `fd`, written already, given a fresh name and renamed over
// `path`. ENOENT when the name cannot be given through /proc (not mounted).
int name_and_rename(int fd, const char *tmp, const char *path) {
    char proc[32];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    char name[name_max];
    held_signals h;
    hold_signals(h);
    int error = take_fresh_name(tmp, name, [&proc](const char *fresh) {
        return linkat(AT_FDCWD, proc, AT_FDCWD, fresh, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    });
    if (error == 0) {
        error = rename_over(name, path);
        if (error != 0)
            unlink(name);
    }
    release_signals(h);
    return error;
}

} // namespace

int publish_named(const char *tmp, const char *path, const char *text, size_t len) {
    char name[name_max];
    held_signals h;
    hold_signals(h);
    int fd = -1;
    int error = take_fresh_name(tmp, name, [&fd](const char *fresh) {
        fd = open(fresh, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        return fd >= 0 ? 0 : errno;
    });
    if (error == 0) {
        error = write_whole(fd, text, len);
        if (close(fd) != 0 && error == 0)
            error = errno;
        if (error == 0)
            error = rename_over(name, path);
        if (error != 0)
            unlink(name);
    }
    release_signals(h);
    return error;
}

int publish(const char *tmp, const char *path, const char *text, size_t len) {
    char dir[name_max];
    if (!directory_of(tmp, dir))
        return ENAMETOOLONG;
    clean_once(tmp, dir);
    int fd = open(dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) {
        // Kernels before 3.11 see a directory opened for writing (EISDIR);
        // file systems without unnamed files refuse them.
        if (errno != EISDIR && errno != EOPNOTSUPP && errno != EINVAL)
            return errno;
        return publish_named(tmp, path, text, len);
    }
    int error = write_whole(fd, text, len);
    if (error == 0)
        error = name_and_rename(fd, tmp, path);
    if (close(fd) != 0 && error == 0)
        error = errno; // renamed already, but the caller must hear of it
    // Without /proc the unnamed file cannot be named: as where there are none.
    return error == ENOENT ? publish_named(tmp, path, text, len) : error;
}
