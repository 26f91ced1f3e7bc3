// Pacing of the 100 ms wind cycle.
#pragma once

#include <cstdint>

// Microseconds to sleep so that a cycle started at `start` ends 100 ms later,
// given the time `now`. Both are the microseconds field of the clock only, so
// elapsed time is taken modulo one second; the result lies in 0..100000.
constexpr int32_t cycle_us = 100000;

constexpr int32_t pace_sleep(int32_t start, int32_t now) {
    int32_t sleep = start < now ? start - now + 100000 : start - now - 900000;
    if (sleep > 100000)
        sleep = 100000;
    if (sleep < 0)
        sleep = 0;
    return sleep;
}

// Whether a whole wind cycle has gone by since the reads began (`since` and
// `now` in microseconds of the wall clock) without a frame that passed: the
// board is missing, stuck or babbling, and each further try pauses first. A
// clock set back counts as such a wait too, so the pauses never depend on it.
constexpr bool starving(int64_t since, int64_t now) {
    return now - since >= cycle_us || now < since;
}
