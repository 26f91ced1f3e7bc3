// What gustlink tells the log of its board, and how often: a silence once,
// then once a reminder period; its end once; failed checks once a period
// that had any. Thresholds of 60 s and an hour.
#include "watch.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr int64_t s = int64_t{1} << tick_shift, hour = 3600 * s;

std::vector<watch_news> due(board_watch &w, int64_t now) {
    std::vector<watch_news> out;
    for (watch_news n; (n = watch_next(w, now)) != watch_news::none;)
        out.push_back(n);
    return out;
}

using news = std::vector<watch_news>;

TEST(Watch, ASilenceIsToldOnceThenHourlyAndItsEndOnce) {
    board_watch w = watch_start(60, 3600, 0);
    for (int k = 0; k < 1480; k++)
        watch_hunt(w);
    watch_failed(w);
    EXPECT_EQ(due(w, 59 * s), news{});
    EXPECT_EQ(due(w, 60 * s), news{watch_news::silent});
    EXPECT_EQ(w.hunts, 1480u);
    EXPECT_EQ(w.failed, 1u);
    EXPECT_EQ(due(w, 61 * s), news{});
    EXPECT_EQ(due(w, hour), news{watch_news::failed_checks}); // the hour's one failed check
    EXPECT_EQ(w.told_failed, 1u);
    EXPECT_EQ(w.told_read, 1u);
    EXPECT_EQ(due(w, 60 * s + hour - 1), news{});
    EXPECT_EQ(due(w, 60 * s + hour), news{watch_news::silent});
    watch_passed(w, 3 * hour + 12 * 60 * s);
    EXPECT_EQ(due(w, 3 * hour + 12 * 60 * s), news{watch_news::back});
    EXPECT_EQ(w.told_back, 3 * hour + 12 * 60 * s);
    EXPECT_EQ(w.hunts, 0u);
    // Frames passing: nothing, and a silence counts from the last of them.
    watch_passed(w, 4 * hour);
    EXPECT_EQ(due(w, 4 * hour + 59 * s), news{});
    EXPECT_EQ(due(w, 4 * hour + 60 * s), news{watch_news::silent});
}

TEST(Watch, FailedChecksAreCountedAgainstTheFramesReadOncePerPeriodThatHadAny) {
    board_watch w = watch_start(60, 3600, 0);
    // A frame every 30 s: never a silence.
    for (int64_t t = 30 * s; t <= hour; t += 30 * s) {
        watch_passed(w, t);
        EXPECT_EQ(due(w, t), news{}) << t; // a good hour: nothing at its end either
    }
    for (int k = 0; k < 312; k++)
        watch_failed(w);
    for (int64_t t = hour + 30 * s; t < 2 * hour; t += 30 * s) {
        watch_passed(w, t);
        EXPECT_EQ(due(w, t), news{}) << t;
    }
    watch_passed(w, 2 * hour);
    EXPECT_EQ(due(w, 2 * hour), news{watch_news::failed_checks});
    EXPECT_EQ(w.told_failed, 312u);
    EXPECT_EQ(w.told_read, 312u + 120u);
    watch_passed(w, 2 * hour + 30 * s);
    EXPECT_EQ(due(w, 2 * hour + 30 * s), news{});
}

TEST(Watch, DurationsAsTheLogGivesThem) {
    struct {
        int64_t seconds;
        const char *text;
    } cases[] = {{0, "0 s"},     {60, "60 s"},          {119, "119 s"},
                 {120, "2 min"}, {3599, "59 min"},      {3600, "1 h"},
                 {3659, "1 h"},  {11520, "3 h 12 min"}, {-5, "0 s"}};
    for (const auto &c : cases) {
        char out[32];
        format_duration(out, sizeof out, c.seconds * s);
        EXPECT_STREQ(out, c.text) << c.seconds;
    }
}

} // namespace
