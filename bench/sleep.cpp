// The sleeps of a hub frame alone: COUNT sleeps of USEC microseconds, made
// through usleep as hubpoll makes them, timed with the monotonic clock. What
// a frame read costs beyond this is the link's; what this costs beyond
// COUNT × USEC is the machine's timers.
//
//   bench-sleep COUNT USEC [SLACK_NS]
//
// With SLACK_NS the timer slack is set first (hubpoll asks for 1 ns). Prints
// the elapsed time in microseconds.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

long long mono_us() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: bench-sleep COUNT USEC [SLACK_NS]\n");
        return 2;
    }
    long count = std::atol(argv[1]);
    auto usec = static_cast<useconds_t>(std::atol(argv[2]));
    if (argc == 4 && prctl(PR_SET_TIMERSLACK, std::strtoul(argv[3], nullptr, 10)) != 0) {
        std::perror("bench-sleep: setting the timer slack");
        return 1;
    }
    long long start = mono_us();
    for (long k = 0; k < count; k++) {
        if (usleep(usec) != 0) {
            std::perror("bench-sleep: usleep");
            return 1;
        }
    }
    std::printf("%lld\n", mono_us() - start);
    return 0;
}
