// Pacing of the 100 ms wind cycle.
#pragma once

#include <cstdint>

// Microseconds to sleep so that a cycle started at `start` ends 100 ms later,
// given the time `now`. Both are the microseconds field of the clock only, so
// elapsed time is taken modulo one second; the result lies in 0..100000.
constexpr int32_t pace_sleep(int32_t start, int32_t now) {
    int32_t sleep = start < now ? start - now + 100000 : start - now - 900000;
    if (sleep > 100000)
        sleep = 100000;
    if (sleep < 0)
        sleep = 0;
    return sleep;
}
