// station-init: the first process of the kernel cases. In the router kernel
// under qemu-system it gives the program what station-sim's sandbox gives
// it (/proc, /sys, /dev, /tmp, the hosts file, the loopback and eth0 with
// the server as a fixed neighbour), loads the board (tests/kernel/board.c),
// runs /program once under a time bound and sends what came of it to the
// host as a tar stream on a serial port of its own (`results`).
// Then it restarts the machine, which qemu -no-reboot turns into its exit.
//
// /case, one setting a line:
//   board BASE NGPIO CLOCK DATA stop|low NBITS [SETTING...]
//                    written to the board as is (board.c)
//   label LABEL      the board's chip, for export and hold (default
//                    station-board)
//   export OFFSET... lines of the board's chip exported before the start,
//                    so that the program's own export writes fail with EBUSY,
//                    as on a second run
//   hold OFFSET NAME line OFFSET of the board's chip requested as an input
//                    under the consumer name NAME for the whole run, so that
//                    the program finds it busy
//   results DEVICE   the serial port the results go to (default /dev/ttyS1)
//   server NAME      the server's name in /etc/hosts
//   bound SECONDS    the time the program may take
//   stop SECONDS     the program stopped SECONDS after its start, as the
//                    time limit of hubpoll-cron ends a run: an expected end
//   arg WORD         the program's arguments, one a line, in order
// /stream: the board's bit stream, NBITS characters '0' and '1'.
//
// Sent back, one file each: stdout, stderr; status, "WAIT_STATUS STOPPED"
// (the status waitpid gave, and 1 when the init stopped the program at a
// read held past the stream or by `stop`); usage, "CPU_US WALL_US", the
// processor time the program took and how long it ran; board, the board's
// counters; reports, one
// line per UDP datagram sent to the server's port 10003, "FROM TO HEX";
// overtime, when the bound ran out; tmp/NAME, the regular files of /tmp;
// end, last, to show that nothing was cut off.
#include "board_chip.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/gpio.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/if_ether.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr const char *station_address = "192.0.2.1";
constexpr const char *server_address = "192.0.2.2";
constexpr uint8_t server_mac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
constexpr uint16_t report_port = 10003;
// A stopped program that is still there after this is killed, as in the station.
constexpr int64_t stop_grace_ms = 2000;

// The settings of /case; the words point into `case_text`.
char case_text[4096];
const char *board_line = nullptr;
constexpr int max_exports = 8;
const char *export_lines[max_exports];
int export_count = 0;
const char *board_label = "station-board";
const char *results_port = "/dev/ttyS1";
const char *server_name = "weather-server";
int bound_seconds = 30;
int stop_seconds = 0; // none
int hold_offset = -1; // none
const char *hold_consumer = "";
constexpr int max_args = 63;
char *program_argv[max_args + 1] = {const_cast<char *>("/program")};

char buffer[4096];

bool fail(const char *what) {
    fprintf(stderr, "station-init: %s: %s\n", what, strerror(errno));
    return false;
}

bool write_all(int fd, const void *data, size_t len) {
    const char *p = static_cast<const char *>(data);
    while (len > 0) {
        ssize_t wrote = write(fd, p, len);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        p += wrote;
        len -= static_cast<size_t>(wrote);
    }
    return true;
}

bool write_file(const char *path, const char *text) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = write_all(fd, text, strlen(text));
    return close(fd) == 0 && ok;
}

// The monotonic clock cannot fail with these arguments; were it to, the
// time would stand still and the host's bound on the machine would end the run.
int64_t now_ms() {
    timespec t{};
    if (clock_gettime(CLOCK_MONOTONIC, &t) != 0)
        return 0;
    return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool mount_all() {
    struct mountpoint {
        const char *type, *path;
    };
    constexpr mountpoint points[] = {
        {"devtmpfs", "/dev"}, {"proc", "/proc"}, {"sysfs", "/sys"}, {"tmpfs", "/tmp"}};
    for (const mountpoint &m : points) {
        if ((mkdir(m.path, 0755) != 0 && errno != EEXIST) ||
            mount(m.type, m.path, m.type, 0, nullptr) != 0)
            return fail(m.path);
    }
    return (mkdir("/etc", 0755) == 0 || errno == EEXIST) && mkdir("/results", 0755) == 0;
}

// The kernel found no console in the initramfs: the init opens its own.
bool take_console() {
    int fd = open("/dev/console", O_RDWR);
    if (fd < 0)
        return false;
    bool ok = dup2(fd, 0) == 0 && dup2(fd, 1) == 1 && dup2(fd, 2) == 2;
    return (fd <= 2 || close(fd) == 0) && ok;
}

bool read_case() {
    int fd = open("/case", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail("/case");
    ssize_t got = read(fd, case_text, sizeof case_text - 1);
    if (close(fd) != 0 || got < 0 || got == sizeof case_text - 1)
        return fail("/case");
    int argc = 1;
    char *save = nullptr;
    for (char *line = strtok_r(case_text, "\n", &save); line != nullptr;
         line = strtok_r(nullptr, "\n", &save)) {
        char *rest = strchr(line, ' ');
        if (rest == nullptr)
            continue;
        *rest++ = '\0';
        if (strcmp(line, "board") == 0) {
            board_line = rest;
        } else if (strcmp(line, "label") == 0) {
            board_label = rest;
        } else if (strcmp(line, "results") == 0) {
            results_port = rest;
        } else if (strcmp(line, "server") == 0) {
            server_name = rest;
        } else if (strcmp(line, "bound") == 0) {
            bound_seconds = atoi(rest);
        } else if (strcmp(line, "stop") == 0) {
            stop_seconds = atoi(rest);
        } else if (strcmp(line, "hold") == 0) {
            char *name = strchr(rest, ' ');
            if (name == nullptr) {
                errno = EINVAL;
                return fail("/case: hold OFFSET NAME");
            }
            *name++ = '\0';
            hold_offset = atoi(rest);
            hold_consumer = name;
        } else if (strcmp(line, "arg") == 0) {
            if (argc == max_args) {
                errno = E2BIG;
                return fail("/case: arguments");
            }
            program_argv[argc++] = rest;
        } else if (strcmp(line, "export") == 0) {
            char *word_save = nullptr;
            for (char *w = strtok_r(rest, " ", &word_save); w != nullptr;
                 w = strtok_r(nullptr, " ", &word_save)) {
                if (export_count == max_exports) {
                    errno = E2BIG;
                    return fail("/case: lines to export");
                }
                export_lines[export_count++] = w;
            }
        }
    }
    program_argv[argc] = nullptr;
    errno = EINVAL;
    return board_line != nullptr && bound_seconds > 0 ? true : fail("/case has no board or bound");
}

bool write_hosts() {
    snprintf(buffer, sizeof buffer, "127.0.0.1\tlocalhost\n%s\t%s\n", server_address, server_name);
    return write_file("/etc/hosts", buffer) || fail("/etc/hosts");
}

sockaddr ipv4(const char *address) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    inet_pton(AF_INET, address, &in.sin_addr); // literal addresses, always valid
    sockaddr out{};
    memcpy(&out, &in, sizeof in);
    return out;
}

bool interface_up(int sd, const char *name) {
    ifreq req{};
    strncpy(req.ifr_name, name, IFNAMSIZ - 1);
    if (ioctl(sd, SIOCGIFFLAGS, &req) != 0)
        return false;
    req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP);
    return ioctl(sd, SIOCSIFFLAGS, &req) == 0;
}

// The loopback; eth0 at 192.0.2.1/24 (its hardware address comes from qemu)
// with the server as a permanent neighbour, so no ARP answer is awaited.
bool network() {
    int sd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sd < 0)
        return fail("socket");
    ifreq req{};
    strncpy(req.ifr_name, "eth0", IFNAMSIZ - 1);
    req.ifr_addr = ipv4(station_address);
    bool ok = interface_up(sd, "lo") && ioctl(sd, SIOCSIFADDR, &req) == 0;
    req.ifr_netmask = ipv4("255.255.255.0");
    ok = ok && ioctl(sd, SIOCSIFNETMASK, &req) == 0 && interface_up(sd, "eth0");
    arpreq neighbour{};
    neighbour.arp_pa = ipv4(server_address);
    neighbour.arp_ha.sa_family = ARPHRD_ETHER;
    memcpy(neighbour.arp_ha.sa_data, server_mac, sizeof server_mac);
    neighbour.arp_flags = ATF_PERM | ATF_COM;
    strncpy(neighbour.arp_dev, "eth0", sizeof neighbour.arp_dev - 1);
    ok = ok && ioctl(sd, SIOCSARP, &neighbour) == 0;
    int saved = errno;
    if (close(sd) != 0 || !ok) {
        errno = ok ? errno : saved;
        return fail("network");
    }
    return true;
}

// The board's configuration, then its stream; the descriptor stays open for
// the counters and the held read.
int load_board() {
    int board = open("/dev/station-board", O_RDWR | O_CLOEXEC);
    int stream = open("/stream", O_RDONLY | O_CLOEXEC);
    bool ok = board >= 0 && stream >= 0 && write_all(board, board_line, strlen(board_line));
    ssize_t got = 0;
    while (ok && (got = read(stream, buffer, sizeof buffer)) > 0)
        ok = write_all(board, buffer, static_cast<size_t>(got));
    ok = ok && got == 0;
    if (stream >= 0 && close(stream) != 0)
        ok = false;
    if (!ok) {
        fail("loading the board");
        if (board >= 0)
            close(board);
        return -1;
    }
    return board;
}

// The line of `hold`, requested by another consumer than the program; the
// request's descriptor stays open for the run (0 when nothing is held).
int hold_line() {
    if (hold_offset < 0)
        return 0;
    int chip = open_chip(board_label);
    gpio_v2_line_request req{};
    req.offsets[0] = static_cast<__u32>(hold_offset);
    req.num_lines = 1;
    snprintf(req.consumer, sizeof req.consumer, "%s", hold_consumer);
    req.config.flags = GPIO_V2_LINE_FLAG_INPUT;
    bool ok = chip >= 0 && ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &req) == 0;
    if ((chip >= 0 && close(chip) != 0) || !ok) {
        fail("holding a line");
        return -1;
    }
    return req.fd; // close-on-exec: the program does not inherit it
}

bool export_all() {
    sysfs_chip chip{};
    if (export_count > 0 && !find_sysfs_chip(board_label, chip))
        return fail("the board's chip in sysfs");
    for (int k = 0; k < export_count; k++) {
        if (!sysfs_line_command(chip, "export", atoi(export_lines[k])))
            return fail("exporting a line");
    }
    return true;
}

// Every frame that eth0 sends or receives (only a socket for all protocols
// sees the frames sent); the wind reports are picked from them. A socket
// bound to port 10003 would take the program's own port.
int open_capture() {
    int sd = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ALL));
    // The index by ioctl: the C library's if_nametoindex wants a Unix
    // socket, which this kernel leaves out.
    ifreq req{};
    strncpy(req.ifr_name, "eth0", IFNAMSIZ - 1);
    bool ok = sd >= 0 && ioctl(sd, SIOCGIFINDEX, &req) == 0;
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_ALL);
    at.sll_ifindex = req.ifr_ifindex;
    if (!ok || bind(sd, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0) {
        fail("capture socket");
        if (sd >= 0)
            close(sd);
        return -1;
    }
    return sd;
}

unsigned be16(const uint8_t *p) {
    return static_cast<unsigned>(p[0]) << 8 | p[1];
}

// Takes every frame waiting; a UDP datagram that left for the server's
// report port becomes a line of `reports`.
bool take_frames(int capture, int reports) {
    for (;;) {
        uint8_t frame[2048];
        sockaddr_ll from{};
        socklen_t len = sizeof from;
        ssize_t got =
            recvfrom(capture, frame, sizeof frame, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (got < 0)
            return errno == EAGAIN || fail("capture");
        size_t n = static_cast<size_t>(got);
        size_t header = (frame[0] & 0x0fu) * 4u;
        if (from.sll_pkttype != PACKET_OUTGOING || from.sll_protocol != htons(ETH_P_IP) || n < 20 ||
            frame[0] >> 4 != 4 || frame[9] != 17 || header < 20 || n < header + 8 ||
            be16(frame + header + 2) != report_port)
            continue;
        in_addr to{};
        inet_pton(AF_INET, server_address, &to);
        if (memcmp(frame + 16, &to, 4) != 0)
            continue;
        size_t end = header + be16(frame + header + 4);
        end = end < n ? end : n;
        char source[INET_ADDRSTRLEN], target[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, frame + 12, source, sizeof source);
        inet_ntop(AF_INET, frame + 16, target, sizeof target);
        int at = snprintf(buffer, sizeof buffer, "%s:%u %s:%u ", source, be16(frame + header),
                          target, be16(frame + header + 2));
        for (size_t k = header + 8; k < end && at < static_cast<int>(sizeof buffer) - 4; k++)
            at += snprintf(buffer + at, sizeof buffer - static_cast<size_t>(at), "%02x", frame[k]);
        buffer[at++] = '\n';
        if (!write_all(reports, buffer, static_cast<size_t>(at)))
            return fail("reports");
    }
}

// Moves what a pipe holds into `to`; closes the pipe at its end.
bool take_output(int &pipe, int to) {
    ssize_t got = read(pipe, buffer, sizeof buffer);
    if (got < 0)
        return errno == EAGAIN || errno == EINTR || fail("output");
    if (got > 0)
        return write_all(to, buffer, static_cast<size_t>(got)) || fail("output");
    int closing = pipe;
    pipe = -1;
    return close(closing) == 0 || fail("output");
}

struct run_result {
    int status = 0;
    bool stopped = false;
    bool overtime = false;
    rusage usage{};
    int64_t ran_ms = 0;
};

// A program that has just ended cannot be signalled, and need not be.
bool signal_program(pid_t pid, int sig) {
    return kill(pid, sig) == 0 || errno == ESRCH || fail("signalling the program");
}

pid_t start_program(int out, int err) {
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    sigset_t none;
    sigemptyset(&none);
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0 || dup2(null, 0) != 0 || dup2(out, 1) != 1 || dup2(err, 2) != 2 ||
        sigprocmask(SIG_SETMASK, &none, nullptr) != 0)
        _exit(127);
    char *env[] = {nullptr};
    execve(program_argv[0], program_argv, env);
    dprintf(2, "station-init: cannot run %s: %s\n", program_argv[0], strerror(errno));
    _exit(127);
}

// Runs the program to its end: its output into the results, the frames it
// sends taken as they come, a stop when the board holds a read.
bool run_program(int board, int capture, run_result &r) {
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    int out[2], err[2];
    int ended = -1;
    if (sigprocmask(SIG_BLOCK, &child, nullptr) != 0 ||
        (ended = signalfd(-1, &child, SFD_CLOEXEC | SFD_NONBLOCK)) < 0 ||
        pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return fail("starting the program");
    int stdout_file = open("/results/stdout", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    int stderr_file = open("/results/stderr", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    int reports = open("/results/reports", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (stdout_file < 0 || stderr_file < 0 || reports < 0)
        return fail("the results");
    int64_t start = now_ms();
    int64_t kill_at = 0;
    pid_t pid = start_program(out[1], err[1]);
    if (pid < 0 || close(out[1]) != 0 || close(err[1]) != 0)
        return fail("starting the program");
    bool running = true, ok = true;
    while (ok && (running || out[0] >= 0 || err[0] >= 0)) {
        int64_t now = now_ms();
        if (running && !r.overtime && now - start >= bound_seconds * 1000LL) {
            r.overtime = true; // a failure of the case: the host says so
            kill_at = now;
        }
        if (running && !r.stopped && stop_seconds > 0 && now - start >= stop_seconds * 1000LL) {
            r.stopped = true;
            kill_at = now + stop_grace_ms;
            ok = signal_program(pid, SIGTERM);
        }
        if (running && kill_at != 0 && now >= kill_at) {
            kill_at = 0;
            ok = signal_program(pid, SIGKILL);
        }
        pollfd fds[] = {{ended, POLLIN, 0},
                        {out[0], POLLIN, 0},
                        {err[0], POLLIN, 0},
                        {capture, POLLIN, 0},
                        {r.stopped ? -1 : board, POLLIN, 0}};
        if (poll(fds, 5, 100) < 0 && errno != EINTR)
            return fail("waiting");
        if (fds[1].revents != 0)
            ok = take_output(out[0], stdout_file);
        if (ok && fds[2].revents != 0)
            ok = take_output(err[0], stderr_file);
        if (ok && fds[3].revents != 0)
            ok = take_frames(capture, reports);
        if (ok && fds[4].revents != 0) {
            r.stopped = true;
            kill_at = now_ms() + stop_grace_ms;
            ok = signal_program(pid, SIGTERM);
        }
        signalfd_siginfo info;
        if (ok && running && fds[0].revents != 0 && read(ended, &info, sizeof info) > 0 &&
            wait4(pid, &r.status, WNOHANG, &r.usage) == pid) {
            running = false;
            r.ran_ms = now_ms() - start;
        }
    }
    ok = ok && take_frames(capture, reports);
    printf("station-init: the program ran %lld ms\n", static_cast<long long>(r.ran_ms));
    bool closed = close(stdout_file) == 0 && close(stderr_file) == 0 && close(reports) == 0;
    return ok && (closed || fail("the results"));
}

bool write_outcome(int board, const run_result &r) {
    char counters[256];
    ssize_t got = pread(board, counters, sizeof counters - 1, 0);
    if (got <= 0)
        return fail("the board's counters");
    counters[got] = '\0';
    char usage[64];
    auto us = [](const timeval &t) {
        return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_usec;
    };
    snprintf(usage, sizeof usage, "%lld %lld\n", us(r.usage.ru_utime) + us(r.usage.ru_stime),
             static_cast<long long>(r.ran_ms) * 1000);
    snprintf(buffer, sizeof buffer, "%d %d\n", r.status, r.stopped ? 1 : 0);
    return (write_file("/results/board", counters) && write_file("/results/status", buffer) &&
            write_file("/results/usage", usage) &&
            (!r.overtime || write_file("/results/overtime", ""))) ||
           fail("the results");
}

// One file as a ustar entry: header, content, padding to the block.
bool tar_entry(int tty, const char *name, const char *path) {
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || strlen(name) > 99) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    char header[512] = {};
    memcpy(header, name, strlen(name));
    snprintf(header + 100, 8, "%07o", 0644);
    snprintf(header + 108, 8, "%07o", 0);
    snprintf(header + 116, 8, "%07o", 0);
    snprintf(header + 124, 12, "%011llo", static_cast<unsigned long long>(st.st_size));
    snprintf(header + 136, 12, "%011o", 0);
    header[156] = '0';
    memcpy(header + 257, "ustar", 6);
    memcpy(header + 263, "00", 2);
    memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : header)
        sum += c;
    snprintf(header + 148, 8, "%06o", sum);
    bool ok = write_all(tty, header, sizeof header);
    ssize_t got = 0;
    size_t total = 0;
    while (ok && (got = read(fd, buffer, sizeof buffer)) > 0) {
        ok = write_all(tty, buffer, static_cast<size_t>(got));
        total += static_cast<size_t>(got);
    }
    char zeros[512] = {};
    ok = ok && got == 0 && write_all(tty, zeros, (512 - total % 512) % 512);
    return close(fd) == 0 && ok;
}

// Every regular file at the top of `dir`, named `prefix` + its name.
bool tar_directory(int tty, const char *dir, const char *prefix) {
    DIR *d = opendir(dir);
    if (d == nullptr)
        return false;
    bool ok = true;
    for (dirent *e; ok && (e = readdir(d)) != nullptr;) {
        char path[512], name[128];
        struct stat st;
        if (snprintf(path, sizeof path, "%s/%s", dir, e->d_name) >= static_cast<int>(sizeof path) ||
            snprintf(name, sizeof name, "%s%s", prefix, e->d_name) >= static_cast<int>(sizeof name))
            ok = false; // a name no tar header holds
        else if (lstat(path, &st) == 0 && S_ISREG(st.st_mode))
            ok = tar_entry(tty, name, path);
    }
    return closedir(d) == 0 && ok;
}

// The results as a tar stream on the second serial port, in raw mode so
// that no byte is translated; drained before the machine restarts.
bool send_results() {
    int tty = open(results_port, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    bool ok = tty >= 0 && tcgetattr(tty, &mode) == 0;
    cfmakeraw(&mode);
    ok = ok && tcsetattr(tty, TCSANOW, &mode) == 0 && write_file("/end", "") &&
         tar_directory(tty, "/results", "") && tar_directory(tty, "/tmp", "tmp/") &&
         tar_entry(tty, "end", "/end");
    char zeros[1024] = {};
    ok = ok && write_all(tty, zeros, sizeof zeros) && tcdrain(tty) == 0;
    return (tty >= 0 && close(tty) == 0 && ok) || fail("sending the results");
}

// A step on the console, for the log a failed case shows. The console is
// for people: that it may fail changes nothing for the run.
bool say(const char *what) {
    printf("station-init: %s\n", what);
    fflush(stdout);
    return true;
}

// The seconds since the kernel started, as /proc/uptime gives them.
void say_uptime() {
    char text[64] = "?";
    int fd = open("/proc/uptime", O_RDONLY | O_CLOEXEC);
    ssize_t got = fd < 0 ? -1 : read(fd, text, sizeof text - 1);
    if (fd >= 0)
        close(fd);
    if (got > 0)
        text[strcspn(text, " ")] = '\0';
    printf("station-init: up at %s s\n", text);
    fflush(stdout);
}

// What the kernel's sysfs GPIO shows once the board is there: its legacy
// files, its chip-local ones, or both.
bool say_gpio_class() {
    int at = snprintf(buffer, sizeof buffer, "/sys/class/gpio:");
    DIR *d = opendir("/sys/class/gpio");
    for (dirent *e; d != nullptr && (e = readdir(d)) != nullptr;) {
        if (e->d_name[0] != '.' && at < static_cast<int>(sizeof buffer))
            at += snprintf(buffer + at, sizeof buffer - static_cast<size_t>(at), " %s", e->d_name);
    }
    if (d != nullptr)
        closedir(d);
    return say(buffer);
}

[[noreturn]] void restart() {
    sync();
    reboot(RB_AUTOBOOT);
    for (;;)
        pause();
}

} // namespace

int main() {
    if (!mount_all() || !take_console())
        restart(); // nothing can be said: the host finds no results
    say_uptime();
    int board = -1, capture = -1;
    run_result r;
    bool ok = read_case() && write_hosts() && network() && (board = load_board()) >= 0 &&
              say_gpio_class() && export_all() && hold_line() >= 0 &&
              (capture = open_capture()) >= 0 && say("starting the program") &&
              run_program(board, capture, r) && write_outcome(board, r) &&
              say("sending the results") && send_results();
    printf("station-init: %s\n", ok ? "results sent" : "failed");
    fflush(stdout);
    restart();
}
