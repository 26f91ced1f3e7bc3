#include "watch.h"

#include <cstdio>

board_watch watch_start(uint32_t silence_s, uint32_t remind_s, int64_t now) {
    return {int64_t{silence_s} << tick_shift,
            int64_t{remind_s} << tick_shift,
            now,
            -1,
            0,
            0,
            now,
            0,
            0,
            0,
            0,
            -1,
            0};
}

void watch_hunt(board_watch &w) {
    w.hunts++;
}

void watch_failed(board_watch &w) {
    w.failed++;
    w.read++;
    w.period_failed++;
}

void watch_passed(board_watch &w, int64_t now) {
    w.read++;
    if (w.told >= 0)
        w.back_after = now - w.since;
    w.since = now;
    w.told = -1;
    w.hunts = w.failed = 0;
}

watch_news watch_next(board_watch &w, int64_t now) {
    if (w.back_after >= 0) {
        w.told_back = w.back_after;
        w.back_after = -1;
        return watch_news::back;
    }
    if (now - w.since >= w.silence && (w.told < 0 || now - w.told >= w.remind)) {
        w.told = now;
        return watch_news::silent;
    }
    if (now - w.period >= w.remind) {
        w.told_read = w.read;
        w.told_failed = w.period_failed;
        w.period = now;
        w.read = w.period_failed = 0;
        if (w.told_failed > 0)
            return watch_news::failed_checks;
    }
    return watch_news::none;
}

void format_duration(char *out, size_t size, int64_t ticks) {
    // Ticks of a clock since boot: 32 bits of seconds hold 136 years.
    uint32_t s = ticks < 0 ? 0 : static_cast<uint32_t>(ticks >> tick_shift);
    if (s < 120)
        snprintf(out, size, "%u s", s);
    else if (s < 3600)
        snprintf(out, size, "%u min", s / 60);
    else if (s % 3600 < 60)
        snprintf(out, size, "%u h", s / 3600);
    else
        snprintf(out, size, "%u h %u min", s / 3600, s % 3600 / 60);
}
