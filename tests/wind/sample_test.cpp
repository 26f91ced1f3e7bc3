#include "datagram.h"
#include "sample.h"
#include "scratch.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct sample_bench {
    scratch_dir dir;
    std::string tmp = dir.file("wind_lcd_realtime_.dat");
    std::string realtime = dir.file("wind_lcd_realtime.dat");
    std::string gauge_tmp = dir.file("windgauge_.dat");
    std::string gauge = dir.file("windgauge.dat");
    wind_outputs out{{tmp.c_str(), realtime.c_str(), {}}, {gauge_tmp.c_str(), gauge.c_str(), {}}};
    wind_state w{};
    std::string errors; // standard error of every feed

    // Feeds one sound sample and returns what it printed.
    std::string feed(int speed, int degrees) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        take_sample(w, speed, degrees, out);
        fflush(stdout);
        errors += testing::internal::GetCapturedStderr();
        return testing::internal::GetCapturedStdout();
    }
};

TEST(WindSample, RealtimeFileShowsTheWindowBeforeTheSample) {
    sample_bench b;
    int before = open_descriptors();
    EXPECT_EQ(b.feed(12, 90), "");
    EXPECT_EQ(read_text(b.realtime), "0 0");                 // empty window
    EXPECT_EQ(listing(b.dir.path), "wind_lcd_realtime.dat"); // renamed into place
    b.feed(10, 0);
    EXPECT_EQ(read_text(b.realtime), "12 90");
    b.feed(10, 0);
    EXPECT_EQ(read_text(b.realtime), "12 45");
    EXPECT_EQ(open_descriptors(), before);
}

TEST(WindSample, SteadyBatchRunsOnTheEleventhFrame) {
    sample_bench b;
    for (int k = 0; k < 10; k++)
        EXPECT_EQ(b.feed(7, 45), "");
    EXPECT_FALSE(file_exists(b.gauge)); // the 10th admission starts no batch
    EXPECT_EQ(b.w.w_p, 10);

    // The 11th frame reports the 10 before it; the endpoint is not open here,
    // so the send fails and says so, and the sent line follows all the same.
    EXPECT_EQ(b.feed(3, 90), "Error: cannot send: -1\nsent spd:7 dir:45\n");
    EXPECT_EQ(read_text(b.gauge), "7 45");
    EXPECT_EQ(read_text(b.realtime), "7 45");
    // Its own sample opens the next window.
    EXPECT_EQ(b.w.w_p, 1);
    EXPECT_EQ(b.w.wind_s[0], 3);
}

TEST(WindSample, UnsteadyBatchIsDroppedWithItsScatter) {
    sample_bench b;
    for (int k = 0; k < 9; k++)
        b.feed(0, 90);
    b.feed(4, 90);
    b.w.wind_s[9] = 11; // as if the filter had let a gust through
    EXPECT_EQ(b.feed(0, 90), "scat: 109 avg:1\n");
    EXPECT_FALSE(file_exists(b.gauge));
    EXPECT_EQ(b.w.w_p, 1);
}

TEST(WindSample, RejectedFrameAfterABatchLeavesTheWindowEmpty) {
    sample_bench b;
    for (int k = 0; k < 10; k++)
        b.feed(30, 180);
    b.feed(80, 180); // batch, then the spike is refused
    EXPECT_EQ(b.w.w_p, 0);
    EXPECT_EQ(b.w.ref_speed, 0);
    b.feed(20, 180);
    EXPECT_EQ(read_text(b.realtime), "0 0");
}

// A directory with something in it at an output's name: the one thing that
// keeps an output from being replaced.
void block(const std::string &path) {
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    write_text(path + "/kept", "");
}

void unblock(const std::string &path) {
    ASSERT_EQ(unlink((path + "/kept").c_str()), 0);
    ASSERT_EQ(rmdir(path.c_str()), 0);
}

TEST(WindSample, UnwritableRealtimeFileIsReportedOncePerRun) {
    sample_bench b;
    b.feed(12, 90);
    ASSERT_EQ(read_text(b.realtime), "0 0");
    unlink(b.realtime.c_str());
    block(b.realtime);
    int before = open_descriptors();
    b.feed(12, 90);
    b.feed(12, 90);
    EXPECT_EQ(b.w.w_p, 3); // the cycle goes on
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(b.errors, "gustlink: cannot write " + b.realtime + ": Is a directory\n");
    // Written again, then failing again: a new run, a new line.
    unblock(b.realtime);
    b.feed(12, 90);
    EXPECT_EQ(read_text(b.realtime), "12 90");
    unlink(b.realtime.c_str());
    block(b.realtime);
    b.feed(12, 90);
    EXPECT_EQ(b.errors, "gustlink: cannot write " + b.realtime + ": Is a directory\n" +
                            "gustlink: cannot write " + b.realtime + ": Is a directory\n");
}

TEST(WindSample, UnwritableGaugeFileKeepsItsContentAndStillSends) {
    sample_bench b;
    block(b.gauge);
    for (int k = 0; k < 10; k++)
        b.feed(5, 0);
    EXPECT_EQ(b.feed(5, 0), "Error: cannot send: -1\nsent spd:5 dir:0\n");
    EXPECT_EQ(read_text(b.gauge + "/kept"), "");
    EXPECT_EQ(b.errors, "gustlink: cannot write " + b.gauge + ": Is a directory\n");
    EXPECT_EQ(read_text(b.realtime), "5 0"); // the other output is not held up
}

} // namespace
