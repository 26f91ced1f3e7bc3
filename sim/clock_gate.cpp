#include "clock_gate.h"

#include "sandbox.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A FIFO as small as the system makes them, held read-write and filled to the
// brim, at "value.next" of the directory. -1 on a failure.
int full_fifo(int dir, size_t &padding) {
    unlinkat(dir, "value.next", 0); // left by nothing but an earlier failure
    if (mkfifoat(dir, "value.next", 0666) != 0)
        return -1;
    int fd = openat(dir, "value.next", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || fcntl(fd, F_SETPIPE_SZ, 4096) < 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    char pad[4096];
    std::memset(pad, 'p', sizeof pad);
    padding = 0;
    for (ssize_t wrote; (wrote = write(fd, pad, sizeof pad)) > 0;)
        padding += static_cast<size_t>(wrote);
    if (errno != EAGAIN || padding == 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool gate_start(clock_gate &g, int dir) {
    g = clock_gate{};
    g.dir = dir;
    std::string path = "/proc/self/fd/" + std::to_string(dir);
    g.watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (g.watch < 0 || inotify_add_watch(g.watch, path.c_str(), IN_OPEN) < 0)
        return false;
    g.waiting = full_fifo(dir, g.waiting_pad);
    return g.waiting >= 0 && renameat(dir, "value.next", dir, "value") == 0;
}

bool gate_opens(clock_gate &g) {
    alignas(inotify_event) char buf[4096];
    ssize_t got;
    while ((got = read(g.watch, buf, sizeof buf)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const inotify_event *ev = reinterpret_cast<const inotify_event *>(buf + at);
            // The station's own opens are of "value.next".
            if ((ev->mask & IN_OPEN) != 0 && ev->len > 0 && std::strcmp(ev->name, "value") == 0)
                g.opens++;
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    return got == 0 || errno == EAGAIN;
}

bool gate_pass(clock_gate &g, bool last, int &held) {
    // The next write must find its FIFO at the path before this one can end.
    size_t pad = 0;
    int next = last ? held_value_fifo(g.dir) : full_fifo(g.dir, pad);
    if (next < 0 || (!last && renameat(g.dir, "value.next", g.dir, "value") != 0))
        return false;
    g.opens--;
    g.passing = g.waiting;
    g.passing_pad = g.waiting_pad;
    g.waiting = last ? -1 : next;
    g.waiting_pad = pad;
    if (last) {
        held = next;
        close(g.watch);
        g.watch = -1;
    }
    g.text.clear();
    return true;
}

bool gate_take(clock_gate &g, std::string &text) {
    char buf[4096];
    for (ssize_t got; g.passing >= 0 && (got = read(g.passing, buf, sizeof buf)) > 0;) {
        size_t skip = std::min(g.passing_pad, static_cast<size_t>(got));
        g.passing_pad -= skip;
        g.text.append(buf + skip, static_cast<size_t>(got) - skip);
        if (g.passing_pad == 0 && g.text.find('\n') != std::string::npos) {
            close(g.passing); // read-write, so nothing is lost by its close
            g.passing = -1;
            text = g.text;
            return true;
        }
    }
    return false;
}
