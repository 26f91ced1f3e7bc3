#include "lockstep.h"

#include "live.h"
#include "vcd.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

// A read of the data line the opener has met, and when.
struct met {
    int fd;
    int64_t at;
};

// Waits in the blocking open until the program opens the data file for
// reading, puts a fresh FIFO at the path for the next read, hands the met
// descriptor over and waits in the next open at once: the program's next
// read finds it there, so that the program never waits for the station
// beyond the time between a met read and its answer. The data line's
// directory is reached through a descriptor, so it is served even while the
// line is missing from its path.
void opener(int dir, int notify) {
    for (;;) {
        met m{openat(dir, "value", O_WRONLY | O_CLOEXEC), now_us()};
        if (m.fd < 0 && errno == EINTR)
            continue;
        // The program reads the FIFO it has opened; the next read must find
        // one that nobody holds open yet. Never renamed in place, the next
        // open would meet this read again.
        if (m.fd >= 0 && !fresh_fifo(dir)) {
            close(m.fd);
            m.fd = -1;
        }
        if (write(notify, &m, sizeof m) != static_cast<ssize_t>(sizeof m) || m.fd < 0)
            return;
    }
}

void trace_edge(lockstep &ls) {
    int data = data_level(ls.b);
    int data_change = data != ls.trace_data ? data : vcd_unchanged;
    ls.trace_data = data;
    std::fputs(vcd_step(ls.trace_last, now_us() - ls.t0, ls.b.clock, data_change).c_str(),
               ls.trace);
}

} // namespace

bool start_opener(lockstep &ls, std::string &why) {
    int notify[2];
    if (pipe2(notify, O_CLOEXEC) != 0) {
        why = "pipes";
        return false;
    }
    ls.notify = notify[0];
    // Blocked in open() for as long as the program does not read; it ends
    // with the process.
    std::thread(opener, ls.sb->data_dir, notify[1]).detach();
    return true;
}

void drain_clock(lockstep &ls) {
    char buf[4096];
    for (ssize_t got; ls.clock_fd >= 0 && (got = read(ls.clock_fd, buf, sizeof buf)) > 0;)
        ls.clock_text.append(buf, static_cast<size_t>(got));
    std::string gated;
    if (gate_take(ls.gate, gated)) // a write let through has ended
        ls.clock_text += gated;
    for (size_t nl; (nl = ls.clock_text.find('\n')) != std::string::npos;) {
        int level = std::atoi(ls.clock_text.substr(0, nl).c_str()); // written as "%d\n"
        ls.clock_text.erase(0, nl + 1);
        if (ls.board_waits) {
            ls.waited_pulses += ls.waited_clock == 1 && level == 0 ? 1 : 0;
            ls.waited_clock = level != 0 ? 1 : 0;
            continue;
        }
        int before = ls.b.clock;
        clock_write(ls.b, level);
        if (ls.trace != nullptr && ls.b.clock != before)
            trace_edge(ls);
    }
}

int met_read(lockstep &ls) {
    met m{-1, 0};
    if (read(ls.notify, &m, sizeof m) != static_cast<ssize_t>(sizeof m))
        return -1;
    ls.met_at = m.at;
    return m.fd;
}

bool answer(lockstep &ls, int fd) {
    int level = serve_sample(ls.b);
    ls.tag = ls.b.pulses;
    ssize_t wrote = write(fd, level != 0 ? "1\n" : "0\n", 2);
    (void)wrote; // a program that died meanwhile is seen at its end
    ls.held_us += now_us() - ls.met_at;
    return close(fd) == 0;
}

void hold(lockstep &ls, int fd) {
    if (ls.held >= 0)
        close(ls.held);
    ls.held = fd;
}
