// Preloaded into a program (LD_PRELOAD) to time it from inside: every reading
// of the time of day and every sleep is noted with the monotonic clock, in a
// log file mapped into memory, so that noting costs no system call and what
// was noted survives the program being killed. One line per event:
//
//   clock T              gettimeofday called at T (ns)
//   slack N              the timer slack in force at the first sleep (ns)
//   sleep REQ T0 T1      a sleep of REQ ns asked for (-1: until a set time),
//                        from T0 to T1
//   get T0 T1            a GPIO value file opened for reading through open()
//                        at T0 and closed at T1: a read of the data line (the
//                        standard I/O library opens files out of sight)
//
// BENCH_TIMING_LOG names the log; without it the shim only passes calls on.
// BENCH_TIMER_SLACK_NS, when set, sets the timer slack at start-up, as a
// program that asks for it would.
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr size_t log_size = 4 << 20;

using gettimeofday_fn = int (*)(timeval *, void *);
using usleep_fn = int (*)(useconds_t);
using nanosleep_fn = int (*)(const timespec *, timespec *);
using clock_nanosleep_fn = int (*)(clockid_t, int, const timespec *, timespec *);
using open_fn = int (*)(const char *, int, ...);
using close_fn = int (*)(int);

// The C library's own functions, found before the program runs, so that the
// first call is timed like every other.
gettimeofday_fn real_gettimeofday;
usleep_fn real_usleep;
nanosleep_fn real_nanosleep;
clock_nanosleep_fn real_clock_nanosleep;
open_fn real_open;
close_fn real_close;

char *log_base;
size_t log_used;
bool slack_noted;
int get_fd = -1; // the data value file being read, and since when
int64_t get_start;

int64_t mono_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void fail(const char *what) {
    char text[256];
    int len = snprintf(text, sizeof text, "bench-timing: %s: %s\n", what, strerror(errno));
    if (len > 0) {
        ssize_t wrote = write(2, text, static_cast<size_t>(len));
        (void)wrote; // ending anyway
    }
    _exit(126);
}

// Drops what no longer fits: the analysis sees the log end early.
__attribute__((format(printf, 1, 2))) void note(const char *format, ...) {
    if (log_base == nullptr)
        return;
    va_list args;
    va_start(args, format);
    int len = vsnprintf(log_base + log_used, log_size - log_used, format, args);
    va_end(args);
    if (len > 0 && log_used + static_cast<size_t>(len) < log_size)
        log_used += static_cast<size_t>(len);
    else
        log_base[log_used] = '\0';
}

void note_slack() {
    if (slack_noted)
        return;
    slack_noted = true;
    note("slack %d\n", prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0));
}

bool is_value_file(const char *path) {
    size_t len = strlen(path);
    return len >= 6 && strcmp(path + len - 6, "/value") == 0;
}

int64_t ns_of(const timespec *ts) {
    return static_cast<int64_t>(ts->tv_sec) * 1000000000 + ts->tv_nsec;
}

template <typename F> F next(const char *name) {
    void *f = dlsym(RTLD_NEXT, name);
    if (f == nullptr) {
        errno = ENOSYS;
        fail(name);
    }
    return reinterpret_cast<F>(f);
}

__attribute__((constructor)) void start() {
    real_gettimeofday = next<gettimeofday_fn>("gettimeofday");
    real_usleep = next<usleep_fn>("usleep");
    real_nanosleep = next<nanosleep_fn>("nanosleep");
    real_clock_nanosleep = next<clock_nanosleep_fn>("clock_nanosleep");
    real_open = next<open_fn>("open");
    real_close = next<close_fn>("close");
    const char *slack = getenv("BENCH_TIMER_SLACK_NS");
    if (slack != nullptr && prctl(PR_SET_TIMERSLACK, strtoul(slack, nullptr, 10)) != 0)
        fail("setting the timer slack");
    const char *path = getenv("BENCH_TIMING_LOG");
    if (path == nullptr)
        return;
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(path);
    if (ftruncate(fd, log_size) != 0)
        fail(path);
    void *map = mmap(nullptr, log_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        fail(path);
    close(fd);
    log_base = static_cast<char *>(map);
}

} // namespace

extern "C" {

int gettimeofday(timeval *__restrict tv, void *__restrict tz) noexcept {
    note("clock %lld\n", static_cast<long long>(mono_ns()));
    return real_gettimeofday(tv, tz);
}

int usleep(useconds_t usec) {
    note_slack();
    int64_t t0 = mono_ns();
    int result = real_usleep(usec);
    note("sleep %lld %lld %lld\n", static_cast<long long>(usec) * 1000, static_cast<long long>(t0),
         static_cast<long long>(mono_ns()));
    return result;
}

int nanosleep(const timespec *req, timespec *rem) {
    note_slack();
    int64_t t0 = mono_ns();
    int result = real_nanosleep(req, rem);
    note("sleep %lld %lld %lld\n", static_cast<long long>(ns_of(req)), static_cast<long long>(t0),
         static_cast<long long>(mono_ns()));
    return result;
}

int clock_nanosleep(clockid_t clock, int flags, const timespec *req, timespec *rem) {
    note_slack();
    int64_t t0 = mono_ns();
    int result = real_clock_nanosleep(clock, flags, req, rem);
    long long asked = (flags & TIMER_ABSTIME) != 0 ? -1 : static_cast<long long>(ns_of(req));
    note("sleep %lld %lld %lld\n", asked, static_cast<long long>(t0),
         static_cast<long long>(mono_ns()));
    return result;
}

int open(const char *path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    bool get = (flags & O_ACCMODE) == O_RDONLY && is_value_file(path);
    int64_t t0 = get ? mono_ns() : 0;
    int fd = real_open(path, flags, mode);
    if (get && fd >= 0) {
        get_fd = fd;
        get_start = t0;
    }
    return fd;
}

int close(int fd) {
    int result = real_close(fd);
    if (fd == get_fd) {
        note("get %lld %lld\n", static_cast<long long>(get_start),
             static_cast<long long>(mono_ns()));
        get_fd = -1;
    }
    return result;
}
}
