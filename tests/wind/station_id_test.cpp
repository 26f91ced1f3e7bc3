#include "station_id.h"

#include <cstring>
#include <gtest/gtest.h>
#include <net/if.h>
#include <string>
#include <sys/ioctl.h>
#include <vector>

namespace {

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

TEST(StationId, OnlyRecordsTheListHoldsAreVisited) {
    // The length the kernel reports, in bytes of 32- or 40-byte records, is
    // never taken past the room the list has.
    constexpr size_t record = sizeof(ifreq);
    EXPECT_EQ(listed_interfaces(static_cast<int>(3 * record), record, 25), 3u);
    EXPECT_EQ(listed_interfaces(static_cast<int>(3 * record + 5), record, 25), 3u);
    EXPECT_EQ(listed_interfaces(1024, record, 1024 / record), 1024 / record);
    EXPECT_EQ(listed_interfaces(4096, record, 1024 / record), 1024 / record);
    EXPECT_EQ(listed_interfaces(0, record, 25), 0u);
    EXPECT_EQ(listed_interfaces(-1, record, 25), 0u);
}

} // namespace
