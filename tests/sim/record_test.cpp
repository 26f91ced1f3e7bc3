// The results' own formats, the verdicts on a program's processor time and
// cycle, the reads of /proc behind them, and the name server's answers.
#include "proc.h"
#include "record.h"
#include "server.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

TEST(Record, JudgesACycleByItsLongestAndShortestPeriod) {
    EXPECT_STREQ(period_verdict(0.150, 0.050, 3.0), "periods within 50 to 150 ms");
    EXPECT_STREQ(period_verdict(0.151, 0.099, 3.0), "a period over 150 ms");
    EXPECT_STREQ(period_verdict(0.100, 0.049, 3.0), "periods under 50 ms on average");
    EXPECT_STREQ(period_verdict(0.100, -1, 3.0), "periods within 50 to 150 ms");
    EXPECT_STREQ(period_verdict(0.400, -1, 0.4), "too short to judge");
}

// A query as a resolver sends it: id 0x1234, recursion desired, one question.
std::vector<uint8_t> query(const std::string &name, uint8_t type) {
    std::vector<uint8_t> q = {0x12, 0x34, 0x01, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    std::istringstream labels(name);
    for (std::string l; std::getline(labels, l, '.');) {
        q.push_back(static_cast<uint8_t>(l.size()));
        q.insert(q.end(), l.begin(), l.end());
    }
    q.insert(q.end(), {0, 0, type, 0, 1});
    return q;
}

TEST(NameServer, AnswersTheServersNameAloneWithItsAddress) {
    std::vector<uint8_t> q = query("Weather-Server", 1);
    std::vector<uint8_t> a = dns_answer(q.data(), q.size(), "weather-server");
    ASSERT_EQ(a.size(), q.size() + 16);
    EXPECT_EQ(a[3], 0x80); // no error, one answer: the address
    EXPECT_EQ(a[7], 1);
    EXPECT_EQ(std::vector<uint8_t>(a.end() - 4, a.end()), (std::vector<uint8_t>{192, 0, 2, 2}));
    q = query("weather-server.lan", 1);                                   // a search domain's name
    EXPECT_EQ(dns_answer(q.data(), q.size(), "weather-server")[3], 0x83); // no such name
    q = query("weather-server", 28);
    EXPECT_EQ(dns_answer(q.data(), q.size(), "weather-server")[7], 0);         // no IPv6 address
    EXPECT_TRUE(dns_answer(q.data(), q.size() - 1, "weather-server").empty()); // cut short
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
