#include "report.h"
#include "station_id.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

TEST(StationId, LowercaseZeroPaddedHex) {
    const uint8_t addr[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    char text[255];
    format_station_id(addr, text, sizeof text);
    EXPECT_STREQ(text, "001a2b3c4d5e");
}

// A fake kernel for the interface walk: a name, its flags (or a failure) and
// its hardware address (or a failure).
struct fake_if {
    const char *name;
    int flags; // -1: the flags request fails
    bool has_hwaddr;
    uint8_t mac[6];
};

std::vector<fake_if> fake_ifs;
std::vector<std::string> asked;

int fake_query(int, unsigned long request, ifreq *req) {
    asked.push_back(req->ifr_name);
    for (const fake_if &f : fake_ifs) {
        if (strcmp(f.name, req->ifr_name) != 0)
            continue;
        if (request == SIOCGIFFLAGS) {
            if (f.flags < 0)
                return -1;
            req->ifr_flags = static_cast<short>(f.flags);
            return 0;
        }
        if (!f.has_hwaddr)
            return -1;
        memcpy(req->ifr_hwaddr.sa_data, f.mac, 6);
        return 0;
    }
    return -1;
}

int walk(uint8_t *dst) {
    std::vector<ifreq> list(fake_ifs.size());
    for (size_t k = 0; k < fake_ifs.size(); k++)
        strncpy(list[k].ifr_name, fake_ifs[k].name, IFNAMSIZ - 1);
    asked.clear();
    return pick_interface(3, list.data(), list.size(), fake_query, dst);
}

TEST(StationId, FirstInterfaceThatIsNotALoopbackWins) {
    fake_ifs = {{"lo", IFF_UP | IFF_LOOPBACK, true, {0, 0, 0, 0, 0, 0}},
                {"eth0", IFF_UP, true, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
                {"wlan0", IFF_UP, true, {9, 9, 9, 9, 9, 9}}};
    uint8_t mac[6] = {};
    ASSERT_EQ(walk(mac), 0);
    const uint8_t want[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(memcmp(mac, want, 6), 0);
    EXPECT_EQ(asked, (std::vector<std::string>{"lo", "eth0", "eth0"}));
}

TEST(StationId, SkipsInterfacesWhoseRequestsFail) {
    fake_ifs = {{"gone0", -1, true, {1, 1, 1, 1, 1, 1}},
                {"tun0", IFF_UP, false, {2, 2, 2, 2, 2, 2}},
                {"eth1", IFF_UP, true, {3, 3, 3, 3, 3, 3}}};
    uint8_t mac[6] = {};
    ASSERT_EQ(walk(mac), 0);
    EXPECT_EQ(mac[0], 3);
}

TEST(StationId, OnlyLoopbackLeavesTheAddressAlone) {
    fake_ifs = {{"lo", IFF_UP | IFF_LOOPBACK, true, {0, 0, 0, 0, 0, 0}}};
    uint8_t mac[6] = {0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB};
    EXPECT_EQ(walk(mac), -1);
    EXPECT_EQ(mac[0], 0xAB);
    fake_ifs.clear();
    EXPECT_EQ(walk(mac), -1);
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

    testing::internal::CaptureStdout();
    open_endpoint("127.0.0.1");
    bool bound = rc == 0; // port 10003 may be taken on a developer's machine
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
    if (bound) {
        EXPECT_EQ(ntohs(from.sin_port), report_port);
    }
    close(server);
    close(sd);
    memset(maddr, 0, sizeof maddr);
}

} // namespace
