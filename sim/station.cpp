#include "station.h"

#include "capture.h"
#include "child.h"
#include "faults.h"
#include "lockstep.h"
#include "record.h"
#include "reports.h"
#include "results.h"
#include "tmp.h"
#include "vcd.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct run {
    const run_options *opt = nullptr;
    int signals = -1;
    live_display live;
    child_process child;
    lockstep ls;
    capture cap;
    report_capture reports;
    fault_schedule faults;
    results res;
};

bool fail(const std::string &what) {
    std::fprintf(stderr, "station-sim: %s\n", what.c_str());
    return false;
}

void read_outputs(run &r) {
    if (r.child.out >= 0)
        read_output(r.cap, r.child.out, false);
    if (r.child.err >= 0)
        read_output(r.cap, r.child.err, true);
}

// Serves one read of the data line, once the opener has met it.
bool serve(run &r) {
    int fd = met_read(r.ls);
    if (fd < 0)
        return fail("the data line cannot be served");
    // Everything the program did before this read is visible now.
    read_outputs(r);
    drain_clock(r.ls);
    drain_files(r.cap);
    if (!r.cap.step_files.empty())
        period_mark(r.faults, r.ls, r.child);
    flush_step(r.cap, r.ls.tag);
    std::string why;
    if (!faults_at_read(r.faults, r.ls, r.child, why))
        return fail(why + ": " + std::strerror(errno));
    if (run_out(r.ls.b)) {
        hold(r.ls, fd); // left unanswered: the program stops right here
        live_line(r.live, "the board's script has run out; stopping " + r.opt->name);
        if (!r.child.stop_sent)
            stop(r.child, now_us());
        return true;
    }
    return answer(r.ls, fd) || fail("the data line cannot be served");
}

void interrupted(run &r) {
    signalfd_siginfo si;
    if (read(r.signals, &si, sizeof si) != static_cast<ssize_t>(sizeof si))
        return;
    live_line(r.live, r.child.stop_sent ? "interrupted again; killing " + r.opt->name
                                        : "interrupted; stopping " + r.opt->name);
    stop(r.child, now_us());
}

// Milliseconds until the next deadline, or -1 for none.
int poll_timeout(const run &r) {
    int64_t next = 0;
    for (int64_t at : {r.faults.stop_at, r.child.kill_at_us,
                       r.faults.watching ? r.faults.watch_until : int64_t{0},
                       r.faults.period.on ? r.faults.period.until : int64_t{0}})
        if (at != 0 && (next == 0 || at < next))
            next = at;
    if (next == 0)
        return -1;
    int64_t wait = (next - now_us() + 999) / 1000;
    return static_cast<int>(wait < 0 ? 0 : wait > 60000 ? 60000 : wait);
}

// What the program wrote last, once it has ended: whatever is left of its
// process group is gone by then, so its output pipes reach their end at
// once, unless something escaped the group.
void take_last_output(run &r) {
    kill_rest(r.child);
    for (int64_t until = now_us() + 1000000; r.child.out >= 0 || r.child.err >= 0;) {
        pollfd fds[2] = {{r.child.out, POLLIN, 0}, {r.child.err, POLLIN, 0}};
        int64_t left = (until - now_us()) / 1000;
        if (left <= 0 || poll(fds, 2, static_cast<int>(left)) <= 0)
            return;
        read_outputs(r);
    }
}

// Serves the program until it ends, whatever it does with its output.
bool event_loop(run &r) {
    for (bool ended = false; !ended;) {
        const server_end &srv = r.ls.sb->server;
        pollfd fds[10];
        nfds_t n = 0;
        const clock_gate &g = r.ls.gate;
        for (int fd : {r.signals, r.ls.clock_fd, g.watch, g.passing, r.child.out, r.child.err,
                       srv.capture_fd, srv.dns_fd, r.ls.notify, r.child.ended})
            if (fd >= 0)
                fds[n++] = pollfd{fd, POLLIN, 0};
        if (poll(fds, n, poll_timeout(r)) < 0) {
            if (errno == EINTR)
                continue;
            return fail(std::string("waiting: ") + std::strerror(errno));
        }
        std::string why;
        enforce_grace(r.child, now_us());
        faults_in_time(r.faults, r.ls, r.child);
        for (nfds_t k = 0; k < n; k++) {
            int fd = fds[k].fd;
            if (fds[k].revents == 0)
                continue;
            if (fd == r.signals)
                interrupted(r);
            else if (fd == r.child.ended)
                ended = true;
            else if ((fd == r.ls.clock_fd || fd == g.watch || fd == g.passing) &&
                     !faults_at_clock(r.faults, r.ls, why))
                return fail(why + ": " + std::strerror(errno));
            else if (fd == r.child.out || fd == r.child.err)
                read_outputs(r);
            else if (fd == srv.capture_fd)
                take_datagrams(r.reports);
            else if (fd == srv.dns_fd)
                serve_queries(srv, r.faults.dns_answers, r.ls.sb->server_name);
            else if (fd == r.ls.notify && !serve(r))
                return false;
        }
    }
    take_last_output(r);
    return true;
}

// Signals arrive through a descriptor; every thread inherits the mask.
bool take_signals(run &r) {
    sigset_t mask;
    sigemptyset(&mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&mask, sig);
    if (sigprocmask(SIG_BLOCK, &mask, nullptr) != 0 || signal(SIGPIPE, SIG_IGN) == SIG_ERR)
        return false;
    // An ignored signal never reaches the descriptor: a station started in
    // the background of a script (SIGINT ignored) must still hear it.
    if (signal(SIGINT, SIG_DFL) == SIG_ERR || signal(SIGTERM, SIG_DFL) == SIG_ERR)
        return false;
    r.signals = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
    return r.signals >= 0;
}

bool start(run &r, const scenario &sc, int clock_line, int data_line) {
    std::string why;
    if (!take_signals(r) || !plant_all(sc.plants, why) || !watch_tmp(r.cap, why) ||
        !open_results(r.res, r.opt->results_dir, why))
        return fail((why.empty() ? "signals" : why) + ": " + std::strerror(errno));
    // The first report must not wait for address resolution, and a server
    // that cannot be reached is better found now.
    if (!await_marker(r.reports))
        return fail("the server cannot be reached");
    if (r.ls.trace != nullptr)
        std::fputs(vcd_header(clock_line, data_line).c_str(), r.ls.trace);
    r.live.t0 = r.ls.t0 = now_us();
    if (!spawn(r.child, r.opt->command, r.opt->inherit, why))
        return fail(why);
    if (!start_opener(r.ls, why)) {
        stop(r.child, now_us());
        return fail(why + ": " + std::strerror(errno));
    }
    return true;
}

bool finish_results(run &r, const std::string &status_line, std::string &why) {
    int dir = r.opt->results_dir;
    std::string entries;
    bool ok = close_results(r.res) && put_file(dir, "status", status_line) &&
              put_file(dir, "pulses", pulse_summary(r.ls.b)) &&
              put_file(dir, "sys", setup_record(*r.ls.sb)) &&
              put_file(dir, "faults", r.faults.record);
    if (!ok)
        why = std::string("writing the results: ") + std::strerror(errno);
    return ok && copy_tmp(dir, entries, why) && put_file(dir, "tmp-entries", entries);
}

} // namespace

int run_station(const scenario &sc, const sandbox &sb, int clock_line, int data_line,
                const run_options &opt) {
    run r;
    r.opt = &opt;
    r.live.on = opt.live;
    r.live.name = opt.name;
    r.ls.sb = &sb;
    r.ls.clock_fd = sb.clock_fd;
    r.ls.b.bits = sc.bits;
    r.ls.b.rounds = opt.rounds;
    r.ls.b.low_at_end = sc.end == stream_end::low;
    r.ls.trace = opt.trace;
    r.cap.res = r.reports.res = &r.res;
    r.cap.live = r.reports.live = &r.live;
    r.reports.srv = &sb.server;
    r.faults.list = sc.faults;
    if (!start(r, sc, clock_line, data_line))
        return 1;

    bool ok = event_loop(r);
    if (!ok) // the station cannot go on: nothing the program does counts now
        kill_group(r.child);
    faults_at_end(r.faults, r.ls, r.child);
    int status = 0;
    if (!reap(r.child, status))
        ok = fail(std::string("waiting for the program: ") + std::strerror(errno));
    drain_clock(r.ls);
    drain_files(r.cap);
    flush_step(r.cap, r.ls.tag);
    live_finish(r.live);
    if (!await_marker(r.reports))
        ok = fail("the server lost sight of the station");
    std::string status_line = status_text(status, r.child.stop_sent);
    std::string summary = opt.name + ": " + status_line.substr(0, status_line.size() - 1) +
                          " after " + std::to_string(r.ls.b.pulses) + " clock pulses, " +
                          std::to_string(r.ls.b.samples) + " reads, " +
                          std::to_string(r.reports.count) + " wind reports";
    live_line(r.live, summary);
    std::string why;
    if (opt.results_dir >= 0 && !finish_results(r, status_line, why))
        ok = fail(why);
    // Without the live display, the one line that says how the run went.
    if (!opt.live && opt.results_dir >= 0)
        std::printf("%s; results in %s\n", summary.c_str(), opt.results_path.c_str());
    hold(r.ls, -1);
    return ok ? 0 : 1;
}
