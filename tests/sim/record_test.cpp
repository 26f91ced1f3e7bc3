// The results' own formats, the verdict on a program's processor time, and
// the reads of /proc behind it.
#include "proc.h"
#include "record.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(Record, DecodesAWindReport) {
    uint8_t report[32] = {'0', '0', '1', 'a', '2', 'b', '3', 'c',
                          '4', 'd', '5', 'e', 0,   7,   1,   0x2C};
    std::string text = describe_report(report, sizeof report, "192.0.2.1:10003", "192.0.2.2:10003");
    EXPECT_EQ(text, "192.0.2.1:10003 -> 192.0.2.2:10003, 32 bytes\n"
                    "  station \"001a2b3c4d5e\" gust 7 dir 300\n"
                    "  30 30 31 61 32 62 33 63 34 64 35 65 00 07 01 2c 00 00 00 00 00 00 00 00 00 "
                    "00 00 00 00 00 00 00\n");
    uint8_t anonymous[32] = {};
    EXPECT_NE(describe_report(anonymous, 32, "a", "b").find("station \"\" gust 0 dir 0"),
              std::string::npos);
    EXPECT_EQ(describe_report(report, 3, "a", "b"), "a -> b, 3 bytes\n  30 30 31\n");
}

TEST(Record, ListsWhatTheCopyOfTmpCannotHold) {
    EXPECT_EQ(tmp_entry("/tmp/sensors.dat", S_IFLNK | 0777, "/tmp/victim"),
              "/tmp/sensors.dat link \"/tmp/victim\"\n");
    EXPECT_EQ(tmp_entry("/tmp/sensors_.dat", S_IFIFO | 0644, ""), "/tmp/sensors_.dat fifo\n");
    EXPECT_EQ(tmp_entry("/tmp/d", S_IFDIR | 0755, ""), "/tmp/d directory\n");
    EXPECT_EQ(tmp_entry("/tmp/d/f", S_IFREG | 0644, "1 2\n"), "/tmp/d/f file \"1 2\\n\"\n");
    EXPECT_EQ(tmp_entry("/tmp/s", S_IFSOCK | 0755, ""), "/tmp/s socket\n");
    EXPECT_EQ(tmp_entry("/tmp/c", S_IFCHR | 0600, ""), "/tmp/c device\n");
}

TEST(Record, JudgesACoreByHalfOfTheTimeTheStationDidNotHoldTheProgram) {
    EXPECT_STREQ(cpu_verdict(0.02, 2.0, 0), "the program did not pin a core");
    EXPECT_STREQ(cpu_verdict(0.99, 2.0, 0), "the program did not pin a core");
    EXPECT_STREQ(cpu_verdict(1.0, 2.0, 0), "the program pinned a core");
    // Retrying at once while the station answers each read: little time of
    // its own, but all of the time the station left it.
    EXPECT_STREQ(cpu_verdict(0.3, 2.0, 1.6), "the program pinned a core");
    // Pausing between tries, the station's answers as slow: far below.
    EXPECT_STREQ(cpu_verdict(0.05, 2.0, 0.3), "the program did not pin a core");
    EXPECT_STREQ(cpu_verdict(0.0, 2.0, 2.0), "the program pinned a core"); // never let go
    EXPECT_STREQ(cpu_verdict(0.4, 0.4, 0), "too short to judge");
}

// The station judges a program's processor time from /proc while other
// processes come and go: one that ends between the open and the read of its
// file must read as nothing, not end the station.
TEST(Proc, AFileOfAProcessThatEndedReadsAsNothing) {
    int self = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(self, 0);
    EXPECT_EQ(proc_text(self).rfind(std::to_string(getpid()) + " (", 0), 0u);
    close(self);

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        pause();
        _exit(0);
    }
    int fd = open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(proc_text(fd), "");
    close(fd);
}

TEST(Record, QuotesEveryByteVisibly) {
    EXPECT_EQ(quoted(std::string("12 90\n\r\t\"\\\x01\xff\0", 13)),
              "\"12 90\\n\\r\\t\\\"\\\\\\x01\\xff\\x00\"");
}

} // namespace
