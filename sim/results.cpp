#include "results.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char *stream_names[] = {"stdout", "stderr", "timeline", "datagrams"};

bool write_all(int fd, const std::string &text) {
    for (size_t done = 0; done < text.size();) {
        ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

int create(int dir, const std::string &name) {
    return openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

} // namespace

bool open_results(results &res, int dir, std::string &why) {
    res.dir = dir;
    if (dir < 0)
        return true;
    for (int k = 0; k < 4; k++) {
        res.stream_fd[k] = create(dir, stream_names[k]);
        if (res.stream_fd[k] < 0) {
            why = std::string(stream_names[k]) + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

void append(results &res, result_stream s, const std::string &text) {
    int fd = res.stream_fd[static_cast<int>(s)];
    if (fd >= 0 && !text.empty() && !write_all(fd, text))
        res.ok = false;
}

bool put_file(int dir, const std::string &name, const std::string &text) {
    int fd = create(dir, name);
    if (fd < 0)
        return false;
    bool ok = write_all(fd, text);
    return close(fd) == 0 && ok;
}

bool close_results(results &res) {
    for (int &fd : res.stream_fd) {
        if (fd >= 0 && close(fd) != 0)
            res.ok = false;
        fd = -1;
    }
    return res.ok;
}
