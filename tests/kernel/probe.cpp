// kernel-probe: the figures of scripts/kernel-bench, taken inside the router
// kernel as station-init's program, with the board (board.c) loaded. Prints
// "key value" lines: microseconds, milliseconds for frames, counts as they are.
//
//   kernel-probe micro ROUNDS
//       the kernel's release; one bare system call; the line operations of
//       each backend on offsets 2 and 1 of the board's chip (found by its
//       label: in sysfs chip-local where the kernel has it, else at its
//       base): each timed over ROUNDS rounds of `batch` operations, per
//       operation
//   kernel-probe calls BACKEND PULSES PROGRAM [ARG...]
//       PROGRAM traced until the board has seen PULSES clock falls: the
//       system calls it makes from one fall to the next (the call that makes
//       the next fall included), median over the pulses with a read of the
//       data line and over those without
//   kernel-probe frames BACKEND FRAMES PROGRAM [ARG...]
//       PROGRAM (gustlink) until the board has seen FRAMES wind frames of 32
//       pulses back to back: each frame from its first fall to its last, by
//       the board's clock; the first frame, whose first fall is the line
//       set-up's, left out
//   kernel-probe hub BACKEND RUNS PROGRAM [ARG...]
//       PROGRAM (hubpoll) RUNS times, each to its end: each run's frame from
//       its first fall (the set-up's) to its last
#include "board_chip.h"
#include "chardev.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int batch = 20;
constexpr int max_figures = 16384;
constexpr int max_falls = 1 << 16;
constexpr int wind_frame_pulses = 32;
constexpr const char *board_label = "station-board";
constexpr int clock_offset = 2, data_offset = 1;
char clock_value[128], data_value[128];

double figures[max_figures];
double more_figures[max_figures];
uint64_t falls[max_falls];
int request = -1; // the character device's lines
int level;        // the clock level set last

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "kernel-probe: %s: %s\n", what, strerror(errno));
    exit(1);
}

double now_us() {
    timespec t{};
    if (clock_gettime(CLOCK_MONOTONIC, &t) != 0)
        fail("clock_gettime");
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

void print_spread(const char *key, double *v, int n) {
    if (n == 0) {
        errno = ENODATA;
        fail(key);
    }
    std::sort(v, v + n);
    double median = n % 2 != 0 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    printf("%s.min %.3f\n%s.median %.3f\n%s.max %.3f\n", key, v[0], key, median, key, v[n - 1]);
}

void print_median_count(const char *key, double *v, int n) {
    if (n == 0) {
        errno = ENODATA;
        fail(key);
    }
    std::sort(v, v + n);
    printf("%s %d\n", key, static_cast<int>(v[n / 2]));
}

// The flags of gpio/sysfs.cpp, so that an operation costs what the
// programs' does.
bool write_text(const char *path, const char *text) {
    int fd = open(path, O_WRONLY | O_TRUNC);
    if (fd < 0)
        return false;
    size_t len = strlen(text);
    bool ok = write(fd, text, len) == static_cast<ssize_t>(len);
    return close(fd) == 0 && ok;
}

// The operations timed: each true when every call in it worked.
bool bare_call() {
    return getppid() > 0;
}

bool sysfs_set() {
    level ^= 1;
    return write_text(clock_value, level != 0 ? "1\n" : "0\n");
}

bool sysfs_get() {
    int fd = open(data_value, O_RDONLY);
    if (fd < 0)
        return false;
    char text[32];
    bool ok = read(fd, text, sizeof text) > 0;
    return close(fd) == 0 && ok;
}

bool sysfs_cycle() {
    return sysfs_set() && sysfs_get();
}

bool chardev_set() {
    level ^= 1;
    gpio_v2_line_values v{level != 0 ? clock_bit : 0, clock_bit};
    return ioctl(request, GPIO_V2_LINE_SET_VALUES_IOCTL, &v) == 0;
}

bool chardev_get() {
    gpio_v2_line_values v{0, data_bit};
    return ioctl(request, GPIO_V2_LINE_GET_VALUES_IOCTL, &v) == 0;
}

bool chardev_cycle() {
    return chardev_set() && chardev_get();
}

// One operation's time, per operation, over `rounds` rounds of `batch`.
void time_operation(const char *key, bool (*operation)(), int rounds) {
    for (int r = 0; r < rounds; r++) {
        double start = now_us();
        for (int k = 0; k < batch; k++)
            if (!operation())
                fail(key);
        figures[r] = (now_us() - start) / batch;
    }
    print_spread(key, figures, rounds);
}

void micro(int rounds) {
    utsname names{};
    if (uname(&names) != 0)
        fail("uname");
    printf("kernel.kernel %s\nkernel.rounds %d\n", names.release, rounds);
    time_operation("kernel.syscall", bare_call, rounds);

    // The lines as a sysfs program sets them up, and let go afterwards.
    sysfs_chip lines{};
    char clock_direction[128], data_direction[128];
    if (!find_sysfs_chip(board_label, lines))
        fail("the board's chip in sysfs");
    sysfs_line_file(lines, clock_offset, "value", clock_value, sizeof clock_value);
    sysfs_line_file(lines, data_offset, "value", data_value, sizeof data_value);
    sysfs_line_file(lines, clock_offset, "direction", clock_direction, sizeof clock_direction);
    sysfs_line_file(lines, data_offset, "direction", data_direction, sizeof data_direction);
    if (!sysfs_line_command(lines, "export", clock_offset) ||
        !sysfs_line_command(lines, "export", data_offset) ||
        !write_text(clock_direction, "out\n") || !write_text(data_direction, "in\n"))
        fail("sysfs set-up");
    time_operation("kernel.sysfs.set", sysfs_set, rounds);
    time_operation("kernel.sysfs.get", sysfs_get, rounds);
    time_operation("kernel.sysfs.cycle", sysfs_cycle, rounds);
    if (!sysfs_line_command(lines, "unexport", clock_offset) ||
        !sysfs_line_command(lines, "unexport", data_offset))
        fail("sysfs unexport");

    // The request of the character device backend, held throughout.
    int chip = open_chip(board_label);
    gpio_v2_line_request req =
        line_request({clock_offset, data_offset, board_label, "kernel-probe"});
    if (chip < 0 || ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &req) != 0 || close(chip) != 0)
        fail("line request");
    request = req.fd;
    time_operation("kernel.chardev.set", chardev_set, rounds);
    time_operation("kernel.chardev.get", chardev_get, rounds);
    time_operation("kernel.chardev.cycle", chardev_cycle, rounds);
}

struct board_counters {
    long long pulses, samples;
};

int board = -1;

board_counters read_board() {
    char text[160];
    ssize_t got = pread(board, text, sizeof text - 1, 0);
    if (got <= 0)
        fail("the board's counters");
    text[got] = '\0';
    board_counters c{};
    if (sscanf(text, "pulses %lld writes %*d samples %lld", &c.pulses, &c.samples) != 2) {
        errno = EPROTO;
        fail("the board's counters");
    }
    return c;
}

// Every fall the board timed; returns how many.
int read_falls() {
    int fd = open("/dev/station-board-falls", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("/dev/station-board-falls");
    size_t total = 0;
    ssize_t got;
    char *to = reinterpret_cast<char *>(falls);
    while ((got = read(fd, to + total, sizeof falls - total)) > 0)
        total += static_cast<size_t>(got);
    if (got < 0 || close(fd) != 0)
        fail("/dev/station-board-falls");
    return static_cast<int>(total / sizeof falls[0]);
}

// The program, its output thrown away; traced from its first instruction
// when asked.
pid_t start(char **argv, bool traced) {
    pid_t pid = fork();
    if (pid < 0)
        fail("fork");
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0 || dup2(null, 1) != 1 || dup2(null, 2) != 2 ||
            (traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0))
            _exit(127);
        execv(argv[0], argv);
        _exit(127);
    }
    return pid;
}

void end(pid_t pid) {
    int status;
    if (kill(pid, SIGKILL) != 0 || waitpid(pid, &status, 0) != pid)
        fail("ending the program");
}

void count_calls(const char *backend, long long pulses, char **argv) {
    pid_t pid = start(argv, true);
    int status;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status) ||
        ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL) != 0)
        fail("tracing the program");
    int sampled = 0, unsampled = 0;
    long long pulse = -1, first_samples = 0;
    int calls = 0, pending = 0; // a signal to pass on
    bool in_call = false;
    for (;;) {
        if (ptrace(PTRACE_SYSCALL, pid, nullptr, pending) != 0 || waitpid(pid, &status, 0) != pid)
            fail("tracing the program");
        if (!WIFSTOPPED(status)) {
            errno = ECHILD;
            fail("the program ended");
        }
        pending = WSTOPSIG(status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(status);
        if (pending != 0)
            continue;
        in_call = !in_call;
        if (!in_call)
            continue; // the exit of a call: calls are counted as they start
        board_counters c = read_board();
        if (c.pulses != pulse) {
            // The pulse that has just ended: from one fall to this one.
            double *into = c.samples > first_samples ? figures : more_figures;
            int &n = c.samples > first_samples ? sampled : unsampled;
            if (pulse >= 1 && c.pulses == pulse + 1 && n < max_figures)
                into[n++] = calls;
            pulse = c.pulses;
            first_samples = c.samples;
            calls = 0;
        }
        calls++;
        if (pulse >= pulses)
            break;
    }
    end(pid);
    char key[64];
    snprintf(key, sizeof key, "kernel.%s.calls_sampled", backend);
    print_median_count(key, figures, sampled);
    snprintf(key, sizeof key, "kernel.%s.calls_unsampled", backend);
    print_median_count(key, more_figures, unsampled);
}

void time_frames(const char *backend, int frames, char **argv) {
    if (frames < 2 || frames * wind_frame_pulses > max_falls) {
        errno = EINVAL;
        fail("frames");
    }
    pid_t pid = start(argv, false);
    const timespec pause{0, 20 * 1000 * 1000};
    while (read_board().pulses < frames * wind_frame_pulses) {
        int status;
        if (waitpid(pid, &status, WNOHANG) != 0) {
            errno = ECHILD;
            fail("the program ended");
        }
        if (nanosleep(&pause, nullptr) != 0 && errno != EINTR)
            fail("nanosleep");
    }
    end(pid);
    if (read_falls() < frames * wind_frame_pulses) {
        errno = ENODATA;
        fail("the board's falls");
    }
    int n = 0;
    for (int f = 1; f < frames; f++) {
        const uint64_t *first = falls + f * wind_frame_pulses;
        figures[n++] = static_cast<double>(first[wind_frame_pulses - 1] - first[0]) / 1e6;
    }
    char key[64];
    snprintf(key, sizeof key, "kernel.%s.wind_frame", backend);
    print_spread(key, figures, n);
}

void time_hub_frames(const char *backend, int runs, char **argv) {
    if (runs < 1 || runs > max_figures) {
        errno = EINVAL;
        fail("runs");
    }
    static long long first_fall[max_figures], last_fall[max_figures];
    for (int r = 0; r < runs; r++) {
        first_fall[r] = read_board().pulses; // the index of the run's first fall
        pid_t pid = start(argv, false);
        int status;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            errno = ECHILD;
            fail("the program did not end with status 0");
        }
        last_fall[r] = read_board().pulses - 1;
    }
    int n = read_falls();
    for (int r = 0; r < runs; r++) {
        if (last_fall[r] >= n || last_fall[r] <= first_fall[r]) {
            errno = ENODATA;
            fail("the board's falls");
        }
        figures[r] = static_cast<double>(falls[last_fall[r]] - falls[first_fall[r]]) / 1e6;
    }
    char key[64];
    snprintf(key, sizeof key, "kernel.%s.hub_frame", backend);
    print_spread(key, figures, runs);
}

} // namespace

int main(int argc, char **argv) {
    static char out_buffer[BUFSIZ]; // the program allocates nothing
    setvbuf(stdout, out_buffer, _IOLBF, sizeof out_buffer);
    if (argc == 3 && strcmp(argv[1], "micro") == 0) {
        int rounds = atoi(argv[2]);
        if (rounds < 1 || rounds > max_figures) {
            errno = EINVAL;
            fail("rounds");
        }
        micro(rounds);
        return 0;
    }
    if (argc < 5) {
        fputs("usage: kernel-probe micro ROUNDS | calls|frames|hub BACKEND N PROGRAM [ARG...]\n",
              stderr);
        return 2;
    }
    board = open("/dev/station-board", O_RDONLY | O_CLOEXEC);
    if (board < 0)
        fail("/dev/station-board");
    int n = atoi(argv[3]);
    if (strcmp(argv[1], "calls") == 0)
        count_calls(argv[2], n, argv + 4);
    else if (strcmp(argv[1], "frames") == 0)
        time_frames(argv[2], n, argv + 4);
    else if (strcmp(argv[1], "hub") == 0)
        time_hub_frames(argv[2], n, argv + 4);
    else
        return 2;
    return 0;
}
