#include "station.h"

#include "board.h"
#include "record.h"
#include "vcd.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <set>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// How long the server may take to see its own marker: a safety net for a
// broken network, never a pace the run depends on.
constexpr int marker_wait_ms = 10000;
// How long a marker may take before it counts as lost on a link coming up.
constexpr int marker_resend_ms = 20;

struct run {
    const sandbox *sb = nullptr;
    const run_options *opt = nullptr;
    board b;
    pid_t child = -1;
    int out_pipe = -1;
    int err_pipe = -1;
    int notify = -1;  // the opener hands over each met data FIFO here
    int go = -1;      // and waits here before it opens the next one
    int inotify = -1; // /tmp
    int signals = -1;
    int held = -1; // the read left unanswered when the stream ran out
    bool stop_sent = false;
    uint32_t marker = 0;       // the last marker sent
    uint32_t marker_first = 0; // the first one sent by this wait
    bool marker_seen = false;
    int64_t t0 = 0;

    std::string out, err, timeline, datagrams;
    uint64_t tag = 0; // pulses at the last served read
    std::string step_out, step_err;
    std::map<std::string, std::string> step_files;
    std::string clock_text; // clock writes not complete yet
    std::string live_out, live_err;
    int64_t vcd_last = 0;
    int vcd_data = 0;
    int reports = 0;
};

int64_t now_us() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void live(const run &r, const std::string &text) {
    if (!r.opt->live)
        return;
    double t = static_cast<double>(now_us() - r.t0) / 1e6;
    std::printf("[%8.3f] %s\n", t, text.c_str());
    std::fflush(stdout);
}

void show_lines(const run &r, std::string &pending, const std::string &chunk, const char *label) {
    pending += chunk;
    for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        std::string shown;
        for (char c : line)
            if (c != '\r') // the wind client ends its lines with "\n\r"
                shown += c;
        live(r, r.opt->name + label + ": " + shown);
    }
}

bool read_file(const std::string &path, std::string &out) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    char buf[4096];
    for (ssize_t got; (got = read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<size_t>(got));
    close(fd);
    return true;
}

bool put_file(int dir, const std::string &name, const std::string &text) {
    int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && ok;
}

void read_pipe(run &r, int &fd, bool is_err) {
    char buf[4096];
    for (;;) {
        ssize_t got = read(fd, buf, sizeof buf);
        if (got > 0) {
            std::string chunk(buf, static_cast<size_t>(got));
            (is_err ? r.err : r.out) += chunk;
            (is_err ? r.step_err : r.step_out) += chunk;
            show_lines(r, is_err ? r.live_err : r.live_out, chunk, is_err ? " (stderr)" : "");
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0) {
            close(fd);
            fd = -1;
        }
        return;
    }
}

void read_outputs(run &r) {
    if (r.out_pipe >= 0)
        read_pipe(r, r.out_pipe, false);
    if (r.err_pipe >= 0)
        read_pipe(r, r.err_pipe, true);
}

void drain_clock(run &r) {
    char buf[4096];
    for (ssize_t got; (got = read(r.sb->clock_fd, buf, sizeof buf)) > 0;)
        r.clock_text.append(buf, static_cast<size_t>(got));
    for (size_t nl; (nl = r.clock_text.find('\n')) != std::string::npos;) {
        int level = std::atoi(r.clock_text.substr(0, nl).c_str()); // written as "%d\n"
        r.clock_text.erase(0, nl + 1);
        int before = r.b.clock;
        clock_write(r.b, level);
        if (r.opt->trace == nullptr || r.b.clock == before)
            continue;
        int data = data_level(r.b);
        int data_change = data != r.vcd_data ? data : vcd_unchanged;
        r.vcd_data = data;
        std::fputs(vcd_step(r.vcd_last, now_us() - r.t0, r.b.clock, data_change).c_str(),
                   r.opt->trace);
    }
}

// The /tmp files written since the last read. The program is blocked in its
// read while this runs, so each file holds what it last wrote.
void drain_files(run &r) {
    alignas(inotify_event) char buf[4096];
    std::set<std::string> names;
    for (ssize_t got; (got = read(r.inotify, buf, sizeof buf)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const inotify_event *ev = reinterpret_cast<const inotify_event *>(buf + at);
            if (ev->len > 0)
                names.insert(ev->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    for (const std::string &name : names) {
        std::string content;
        if (!read_file("/tmp/" + name, content)) // a temporary file already renamed
            continue;
        r.step_files[name] = content;
        live(r, "/tmp/" + name + " = " + quoted(content));
    }
}

void flush_step(run &r) {
    std::string at = "@"; // appended: GCC 12 at -O3 flags literal + string (-Wrestrict)
    at.append(std::to_string(r.tag)).append(" ");
    if (!r.step_out.empty())
        r.timeline += at + "stdout " + quoted(r.step_out) + "\n";
    if (!r.step_err.empty())
        r.timeline += at + "stderr " + quoted(r.step_err) + "\n";
    for (const auto &[name, content] : r.step_files)
        r.timeline += at + "/tmp/" + name + " " + quoted(content) + "\n";
    r.step_out.clear();
    r.step_err.clear();
    r.step_files.clear();
}

void stop_program(run &r) {
    if (r.stop_sent)
        return;
    r.stop_sent = true;
    kill(r.child, SIGTERM);
}

void take_datagrams(run &r) {
    datagram d;
    while (r.sb->server.capture_fd >= 0 && receive_datagram(r.sb->server, d)) {
        if (d.marker) {
            r.marker_seen = r.marker_seen || d.marker_number >= r.marker_first;
            continue;
        }
        std::string text = describe_report(d.data.data(), d.data.size(), d.from, d.to);
        r.datagrams += text;
        r.reports++;
        size_t first = text.find('\n'), second = text.find('\n', first + 1);
        live(r, "wind report:" + text.substr(first + 2, second - first - 2) + " (" +
                    text.substr(0, first) + ")");
    }
}

// Sends a marker after everything the program may have sent and collects
// datagrams until the marker arrives.
bool await_marker(run &r) {
    if (r.sb->server.capture_fd < 0)
        return true;
    r.marker_seen = false;
    r.marker_first = r.marker + 1;
    int64_t deadline = now_us() + marker_wait_ms * 1000;
    while (!r.marker_seen) {
        if (now_us() > deadline || !send_marker(r.sb->server, ++r.marker))
            return false;
        pollfd p{r.sb->server.capture_fd, POLLIN, 0};
        poll(&p, 1, marker_resend_ms);
        take_datagrams(r);
    }
    return true;
}

// Serves one read of the data line, whose FIFO end `fd` the opener has met.
bool serve(run &r, int fd) {
    // Everything the program did before this read is visible now.
    read_outputs(r);
    drain_clock(r);
    drain_files(r);
    flush_step(r);
    if (exhausted(r.b)) {
        r.held = fd; // left unanswered: the program stops right here
        live(r, "the board's script has run out; stopping " + r.opt->name);
        stop_program(r);
        return true;
    }
    int level = serve_sample(r.b);
    r.tag = r.b.pulses;
    // The next read must find a FIFO that nobody holds open yet.
    bool ok = fresh_data_fifo(*r.sb);
    ssize_t wrote = write(fd, level != 0 ? "1\n" : "0\n", 2);
    (void)wrote; // a program that died meanwhile is seen at its end of output
    close(fd);
    char go = 1;
    return ok && write(r.go, &go, 1) == 1;
}

// The helper thread: waits in the blocking open until the program opens the
// data file for reading, hands the descriptor over, and waits to be released.
void opener(const std::string &path, int notify, int go) {
    for (;;) {
        int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0 && errno == EINTR)
            continue;
        if (write(notify, &fd, sizeof fd) != static_cast<ssize_t>(sizeof fd) || fd < 0)
            return;
        char c;
        if (read(go, &c, 1) != 1)
            return;
    }
}

bool spawn(run &r) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return false;
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::vector<char *> argv;
    for (const std::string &a : r.opt->command)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t parent = getpid();
    r.child = fork();
    if (r.child < 0)
        return false;
    if (r.child == 0) {
        setpgid(0, 0); // a Ctrl-C at the terminal is the station's to handle
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(null, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        execvp(argv[0], argv.data());
        dprintf(2, "station-sim: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    close(null);
    close(out[1]);
    close(err[1]);
    r.out_pipe = out[0];
    r.err_pipe = err[0];
    fcntl(r.out_pipe, F_SETFL, O_NONBLOCK);
    fcntl(r.err_pipe, F_SETFL, O_NONBLOCK);
    return true;
}

bool event_loop(run &r) {
    while (r.out_pipe >= 0 || r.err_pipe >= 0) {
        pollfd fds[6];
        int fd_of[6];
        nfds_t n = 0;
        for (int fd : {r.signals, r.sb->clock_fd, r.out_pipe, r.err_pipe, r.sb->server.capture_fd,
                       r.notify}) {
            if (fd < 0)
                continue;
            fds[n] = pollfd{fd, POLLIN, 0};
            fd_of[n++] = fd;
        }
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (nfds_t k = 0; k < n; k++) {
            if (fds[k].revents == 0)
                continue;
            int fd = fd_of[k];
            if (fd == r.signals) {
                signalfd_siginfo si;
                if (read(r.signals, &si, sizeof si) > 0)
                    live(r, "interrupted; stopping " + r.opt->name);
                stop_program(r);
            } else if (fd == r.sb->clock_fd) {
                drain_clock(r);
            } else if (fd == r.out_pipe || fd == r.err_pipe) {
                read_outputs(r);
            } else if (fd == r.sb->server.capture_fd) {
                take_datagrams(r);
            } else if (fd == r.notify) {
                int met = -1;
                if (read(r.notify, &met, sizeof met) != static_cast<ssize_t>(sizeof met) ||
                    met < 0 || !serve(r, met)) {
                    std::fprintf(stderr, "station-sim: the data line cannot be served\n");
                    stop_program(r);
                    return false;
                }
            }
        }
    }
    return true;
}

std::string status_text(int status, bool stop_sent) {
    if (WIFEXITED(status))
        return "exit " + std::to_string(WEXITSTATUS(status)) + "\n";
    if (stop_sent)
        return "stopped\n";
    return "signal " + std::to_string(WTERMSIG(status)) + "\n";
}

void copy_tmp(int results_dir) {
    DIR *d = opendir("/tmp");
    if (d == nullptr)
        return;
    mkdirat(results_dir, "tmp", 0755);
    int tmp_dir = openat(results_dir, "tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (dirent *e; (e = readdir(d)) != nullptr;) {
        std::string content;
        struct stat st;
        std::string path = std::string("/tmp/") + e->d_name;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !read_file(path, content))
            continue;
        if (tmp_dir >= 0)
            put_file(tmp_dir, e->d_name, content);
    }
    if (tmp_dir >= 0)
        close(tmp_dir);
    closedir(d);
}

} // namespace

int run_station(const scenario &sc, const sandbox &sb, int clock_line, int data_line,
                const run_options &opt) {
    run r;
    r.sb = &sb;
    r.opt = &opt;
    r.b.bits = sc.bits;
    r.b.rounds = opt.rounds;

    // Signals arrive through a descriptor; every thread inherits the mask.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    signal(SIGPIPE, SIG_IGN);
    r.signals = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
    r.inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (r.signals < 0 || r.inotify < 0 ||
        inotify_add_watch(r.inotify, "/tmp", IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        std::perror("station-sim: watching /tmp");
        return 1;
    }
    // The first report must not wait for address resolution, and a server
    // that cannot be reached is better found now.
    if (!await_marker(r)) {
        std::fprintf(stderr, "station-sim: the server cannot be reached\n");
        return 1;
    }
    if (opt.trace != nullptr)
        std::fputs(vcd_header(clock_line, data_line).c_str(), opt.trace);

    r.t0 = now_us();
    if (!spawn(r)) {
        std::perror("station-sim: starting the program");
        return 1;
    }
    int notify[2], go[2];
    if (pipe2(notify, O_CLOEXEC) != 0 || pipe2(go, O_CLOEXEC) != 0) {
        std::perror("station-sim: pipes");
        stop_program(r);
        return 1;
    }
    r.notify = notify[0];
    r.go = go[1];
    // Blocked in open() for as long as the program does not read; it ends
    // with the process.
    std::thread(opener, sb.data_value, notify[1], go[0]).detach();

    bool ok = event_loop(r);
    int status = 0;
    while (waitpid(r.child, &status, 0) < 0 && errno == EINTR) {
    }
    drain_clock(r);
    drain_files(r);
    flush_step(r);
    if (!r.live_out.empty())
        show_lines(r, r.live_out, "\n", "");
    if (!r.live_err.empty())
        show_lines(r, r.live_err, "\n", " (stderr)");
    if (!await_marker(r)) {
        std::fprintf(stderr, "station-sim: the server lost sight of the station\n");
        ok = false;
    }
    std::string status_line = status_text(status, r.stop_sent);
    live(r, opt.name + ": " + status_line.substr(0, status_line.size() - 1) + " after " +
                std::to_string(r.b.pulses) + " clock pulses, " + std::to_string(r.b.samples) +
                " reads, " + std::to_string(r.reports) + " wind reports");

    if (opt.results_dir >= 0) {
        int dir = opt.results_dir;
        bool wrote =
            put_file(dir, "stdout", r.out) && put_file(dir, "stderr", r.err) &&
            put_file(dir, "status", status_line) && put_file(dir, "timeline", r.timeline) &&
            put_file(dir, "pulses", pulse_summary(r.b)) && put_file(dir, "sys", setup_record(sb)) &&
            put_file(dir, "datagrams", r.datagrams);
        copy_tmp(dir);
        if (!wrote) {
            std::perror("station-sim: writing the results");
            ok = false;
        }
    }
    if (r.held >= 0)
        close(r.held);
    return ok ? 0 : 1;
}
