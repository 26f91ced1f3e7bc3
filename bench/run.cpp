// Runs a program and, when it ends, writes its wall time, its CPU time (user
// and system) and its peak resident memory to a file, one "name value" line
// each:
//
//   bench-run OUT PROGRAM [ARG...]
//
// A SIGTERM, SIGINT or SIGHUP sent to bench-run is passed on to the program,
// so that a program the station stops is measured all the same; bench-run
// then ends by the same signal.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t child = 0;

void pass_on(int sig) {
    if (child > 0)
        kill(child, sig);
}

long long mono_us() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

long long us_of(const timeval &tv) {
    return static_cast<long long>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench-run OUT PROGRAM [ARG...]\n");
        return 2;
    }
    FILE *out = std::fopen(argv[1], "we");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = pass_on;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);

    long long start = mono_us();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("bench-run: fork");
        return 1;
    }
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        std::fprintf(stderr, "bench-run: cannot run %s: %s\n", argv[2], std::strerror(errno));
        _exit(127);
    }
    child = pid;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("bench-run: wait4");
            return 1;
        }
    }
    long long wall = mono_us() - start;
    std::fprintf(out, "wall_us %lld\ncpu_us %lld\nmaxrss_kib %ld\n", wall,
                 us_of(usage.ru_utime) + us_of(usage.ru_stime), usage.ru_maxrss);
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    if (WIFSIGNALED(status)) {
        signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
