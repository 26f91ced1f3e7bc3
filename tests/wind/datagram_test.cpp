#include "datagram.h"
#include "station_id.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

// The resolver, stood in for: an address in numbers at once. "hangs" fails at
// start-up, then, in the look-ups that follow, never answers, as a resolver
// whose name server is out of reach: it writes its pid to `hanging` first,
// and an alarm ends it after 20 s, should nothing else.
int hanging = -1;

bool resolve_host(const char *host, in_addr &out) {
    static int calls;
    if (strcmp(host, "hangs") != 0)
        return inet_aton(host, &out) != 0;
    if (calls++ > 0) {
        alarm(20);
        pid_t me = getpid();
        if (write(hanging, &me, sizeof me) == sizeof me)
            for (;;)
                pause();
    }
    return false;
}

namespace {

TEST(WindReport, LayoutOfTheDatagram) {
    const char id[255] = "001a2b3c4d5e";
    uint8_t out[report_size];
    memset(out, 0xEE, sizeof out);
    build_report(out, id, 7, 300);
    EXPECT_EQ(memcmp(out, "001a2b3c4d5e\0", 13), 0);
    EXPECT_EQ(out[13], 0x07);
    EXPECT_EQ(out[14], 0x01);
    EXPECT_EQ(out[15], 0x2C);
    for (int k = 16; k < report_size; k++)
        EXPECT_EQ(out[k], 0) << "byte " << k;

    build_report(out, id, 300, 0); // the speed is cut to 8 bits
    EXPECT_EQ(out[13], 0x2C);
    EXPECT_EQ(out[14], 0x00);
    EXPECT_EQ(out[15], 0x00);

    const char none[255] = {};
    build_report(out, none, 1, 359);
    for (int k = 0; k < 13; k++)
        EXPECT_EQ(out[k], 0);
    EXPECT_EQ(out[14], 0x01);
    EXPECT_EQ(out[15], 0x67);
}

TEST(WindReport, AnUnknownServerIsLookedUpAgainAtMostOnceAMinute) {
    EXPECT_FALSE(lookup_due(1000, 1000, lookup_retry_ms));
    EXPECT_FALSE(lookup_due(1000, 60999, lookup_retry_ms)); // a report within the minute
    EXPECT_TRUE(lookup_due(1000, 61000, lookup_retry_ms));
    EXPECT_TRUE(lookup_due(1000, 1000 + 3600000, lookup_retry_ms));
    EXPECT_EQ(lookup_retry_ms, 60000);
}

// However the program ends, the look-up it started ends with it at once
// (gone, or a zombie nobody has reaped yet), not by its alarm.
TEST(WindReport, ALookUpThatHangsHoldsNothingAndEndsWithTheProgram) {
    for (int sig : {SIGTERM, SIGKILL}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        hanging = fds[1];
        pid_t program = fork();
        ASSERT_GE(program, 0);
        if (program == 0) {
            open_endpoint("hangs", 50);
            usleep(60000);
            follow_lookup(); // starts the look-up
            follow_lookup(); // not due again: waits for nothing
            _exit(pause());
        }
        pid_t lookup = 0;
        ASSERT_EQ(read(fds[0], &lookup, sizeof lookup), static_cast<ssize_t>(sizeof lookup));
        close(fds[0]);
        close(fds[1]);
        int status = 0;
        ASSERT_EQ(kill(program, sig), 0);
        ASSERT_EQ(waitpid(program, &status, 0), program);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
        bool ended = false;
        for (int k = 0; k < 500 && !ended; k++, usleep(10000)) {
            std::ifstream stat("/proc/" + std::to_string(lookup) + "/stat");
            std::string pid, name, state;
            ended = !(stat >> pid >> name >> state) || state == "Z";
        }
        EXPECT_TRUE(ended) << "the look-up outlived the program ended by signal " << sig;
    }
}

TEST(WindReport, SendsThirtyTwoBytesToTheServer) {
    // A receiver on the loopback stands in for the collecting server.
    int server = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    socklen_t len = sizeof at;
    getsockname(server, reinterpret_cast<sockaddr *>(&at), &len);

    // Port 10003 may be taken on a developer's machine; then the endpoint
    // sends from a port the system chooses.
    int probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in own{};
    own.sin_family = AF_INET;
    own.sin_port = htons(report_port);
    bool port_free = bind(probe, reinterpret_cast<sockaddr *>(&own), sizeof own) == 0;
    close(probe);

    testing::internal::CaptureStdout();
    open_endpoint("127.0.0.1");
    remoteServAddr.sin_port = at.sin_port;
    strcpy(maddr, "001a2b3c4d5e");
    EXPECT_EQ(send_wind(7, 300), 0);
    fflush(stdout);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("sent spd:7 dir:300\n"), std::string::npos);
    EXPECT_EQ(printed.find("Error: cannot send"), std::string::npos);

    uint8_t got[64];
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    ssize_t n = recvfrom(server, got, sizeof got, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from),
                         &from_len);
    EXPECT_EQ(n, 32);
    EXPECT_EQ(memcmp(got, "001a2b3c4d5e\0\x07\x01\x2c", 16), 0);
    if (port_free) {
        EXPECT_EQ(ntohs(from.sin_port), report_port);
    }
    close(server); // the endpoint's socket lives as long as the process
    memset(maddr, 0, sizeof maddr);
}

// Said on standard output as always, and on standard error for the log.
TEST(WindReport, APortInUseIsToldOnBothStreams) {
    int holder = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in own{AF_INET, htons(report_port), {}, {}};
    bind(holder, reinterpret_cast<sockaddr *>(&own), sizeof own); // or taken already
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    open_endpoint("127.0.0.1");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "10003: cannot bind port number 10003 \n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "gustlink: 10003: cannot bind port number 10003: " +
                  std::string(strerror(EADDRINUSE)) + "\n");
    close(holder);
}

} // namespace
