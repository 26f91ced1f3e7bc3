// What gustlink tells the log of its wind board, and how often: that no frame
// has passed its check for a while (again at most once per reminder period
// while it lasts), that frames pass again, and how many failed their check
// in a period that had any. Counters, and times in ticks of 1/1024 s of a
// clock that is never set (seconds by a shift: a 32-bit router divides 64-bit
// numbers in software); main.cpp reads the clock and prints.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int tick_shift = 10; // 1024 ticks a second

struct board_watch {
    int64_t silence; // how long without a frame passing before it is told
    int64_t remind;  // the least time between two lines of one kind
    int64_t since;   // the last frame that passed, or the start
    int64_t told;    // when the silence was last told; -1 while it is not
    uint32_t hunts;  // tries that found no sync byte, since `since`
    uint32_t failed; // frames that failed their check, since `since`
    int64_t period;  // the start of the period of failed checks
    uint32_t read;   // frames read in it, passed or not
    uint32_t period_failed;
    uint32_t told_read; // the period last ended: its frames read and failed
    uint32_t told_failed;
    int64_t back_after; // a silence that has ended, its length; -1: none
    int64_t told_back;  // the length of the silence last told as ended
};

enum class watch_news { none, silent, back, failed_checks };

board_watch watch_start(uint32_t silence_s, uint32_t remind_s, int64_t now);

// One try: no sync byte found; a frame that failed its check; one that passed.
void watch_hunt(board_watch &w);
void watch_failed(board_watch &w);
void watch_passed(board_watch &w, int64_t now);

// What is due to be told at `now`, one piece at a time, each counted as told
// when returned: call until it returns none. `silent` speaks of `hunts` and
// `failed` over now - `since`, `back` of `told_back`, `failed_checks` of
// `told_failed` of `told_read` in the period that has just ended.
watch_news watch_next(board_watch &w, int64_t now);

// "45 s", "12 min", "3 h 12 min", "2 h": ticks as the log gives them.
void format_duration(char *out, size_t size, int64_t ticks);
