#include "tmp.h"

#include "record.h"
#include "results.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::string failed(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

bool plant_one(const plant &p) {
    switch (p.kind) {
    case plant::link:
        return symlink(p.text.c_str(), p.path.c_str()) == 0;
    case plant::fifo:
        return mkfifo(p.path.c_str(), 0666) == 0;
    case plant::directory:
        return mkdir(p.path.c_str(), 0755) == 0;
    case plant::file:
        break;
    }
    int fd = open(p.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, p.text.data(), p.text.size()) == static_cast<ssize_t>(p.text.size());
    return close(fd) == 0 && ok;
}

// The names in a directory, sorted, for an order that does not depend on the
// file system.
bool names_in(int dir, std::vector<std::string> &names) {
    int fd = dup(dir);
    DIR *d = fd < 0 ? nullptr : fdopendir(fd);
    if (d == nullptr) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    for (dirent *e; (e = readdir(d)) != nullptr;)
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

// Describes `name` in `dir`, and below it when it is a directory.
bool describe(int dir, const std::string &path, const std::string &name, std::string &entries) {
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    std::string detail;
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        ssize_t len = readlinkat(dir, name.c_str(), target, sizeof target);
        if (len < 0)
            return false;
        detail.assign(target, static_cast<size_t>(len));
    } else if (S_ISREG(st.st_mode) && !read_regular(dir, name, detail)) {
        return false;
    }
    entries += tmp_entry(path, st.st_mode, detail);
    if (!S_ISDIR(st.st_mode))
        return true;
    int sub = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::vector<std::string> names;
    bool ok = sub >= 0 && names_in(sub, names);
    for (const std::string &n : names)
        ok = describe(sub, path + "/" + n, n, entries) && ok;
    if (sub >= 0)
        close(sub);
    return ok;
}

} // namespace

bool plant_all(const std::vector<plant> &plants, std::string &why) {
    for (const plant &p : plants) {
        if (!plant_one(p)) {
            why = failed("planting " + p.path);
            return false;
        }
    }
    return true;
}

bool replant(const plant &p, bool only_remove, std::string &why) {
    std::error_code error;
    std::filesystem::remove_all(p.path, error); // removes a link, never what it names
    if (error) {
        errno = error.value();
        why = failed("removing " + p.path);
        return false;
    }
    if (!only_remove && !plant_one(p)) {
        why = failed("planting " + p.path);
        return false;
    }
    return true;
}

bool fill_tmp(int &fd, std::string &why) {
    if (fd < 0)
        fd = open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    struct statvfs vfs;
    if (fd < 0 || fstatvfs(fd, &vfs) != 0) {
        why = failed("filling /tmp");
        return false;
    }
    struct stat st;
    off_t free_bytes = static_cast<off_t>(vfs.f_bavail * vfs.f_frsize);
    if (fstat(fd, &st) != 0 || (free_bytes > 0 && fallocate(fd, 0, st.st_size, free_bytes) != 0)) {
        why = failed("filling /tmp");
        return false;
    }
    return true;
}

bool free_tmp(int &fd, std::string &why) {
    if (fd < 0)
        return true;
    int was = fd;
    fd = -1;
    if (close(was) != 0) {
        why = failed("freeing /tmp");
        return false;
    }
    return true;
}

bool copy_tmp(int dir, std::string &entries, std::string &why) {
    int tmp = open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if ((mkdirat(dir, "tmp", 0755) != 0 && errno != EEXIST) || tmp < 0) {
        why = failed("copying /tmp");
        if (tmp >= 0)
            close(tmp);
        return false;
    }
    int to = openat(dir, "tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> names;
    bool ok = to >= 0 && names_in(tmp, names);
    for (const std::string &name : names) {
        std::string content;
        struct stat st;
        if (fstatat(tmp, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ok = read_regular(tmp, name, content) && put_file(to, name, content) && ok;
        else
            ok = describe(tmp, "/tmp/" + name, name, entries) && ok;
    }
    if (!ok)
        why = failed("copying /tmp");
    if (to >= 0)
        close(to);
    close(tmp);
    return ok;
}

bool read_regular(int dir, const std::string &name, std::string &out) {
    int fd = openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0)
        return false;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    out.clear();
    char buf[4096];
    ssize_t got = 0;
    while (ok && (got = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(got));
    return close(fd) == 0 && ok && got == 0;
}
