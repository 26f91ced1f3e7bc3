// The interface-list walk: a list as the kernel might fill it (any length it
// reports, names without their zero) and answers to every request, the
// hardware address taken only from an interface that qualified.
//
// Input: 4 bytes of reported length, the records, then one answer per
// request: a byte whose low bit fails the request, then the flags (2 bytes)
// or the address (6 bytes).
#include "station_id.h"

#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <sys/ioctl.h>
#include <vector>

namespace {

const uint8_t *answers;
size_t answers_left;
uint8_t last_address[6];

bool take(void *out, size_t n) {
    if (answers_left < n)
        return false;
    memcpy(out, answers, n);
    answers += n;
    answers_left -= n;
    return true;
}

int fake_query(int, unsigned long request, ifreq *req) {
    if (strnlen(req->ifr_name, IFNAMSIZ) == IFNAMSIZ)
        abort(); // a name handed on without its zero
    uint8_t fails = 1;
    if (!take(&fails, 1) || (fails & 1) != 0)
        return -1;
    if (request == SIOCGIFFLAGS) {
        uint16_t flags = 0;
        if (!take(&flags, sizeof flags))
            return -1;
        req->ifr_flags = static_cast<short>(flags);
        return 0;
    }
    if (!take(last_address, sizeof last_address))
        return -1;
    memcpy(req->ifr_hwaddr.sa_data, last_address, sizeof last_address);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    constexpr size_t capacity = 1024 / sizeof(ifreq);
    int32_t ifc_len = 0;
    if (size < sizeof ifc_len)
        return 0;
    memcpy(&ifc_len, data, sizeof ifc_len);
    data += sizeof ifc_len;
    size -= sizeof ifc_len;

    // Exactly the room of the real list, so that a walk past it is caught.
    std::vector<ifreq> list(capacity);
    size_t listed = size < sizeof(ifreq) * capacity ? size : sizeof(ifreq) * capacity;
    memcpy(list.data(), data, listed);
    answers = data + listed;
    answers_left = size - listed;

    size_t count = listed_interfaces(ifc_len, sizeof(ifreq), capacity);
    if (count > capacity)
        abort();
    uint8_t dst[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    int found = pick_interface(3, list.data(), count, fake_query, dst);
    if (found == 0 && memcmp(dst, last_address, sizeof dst) != 0)
        abort();
    if (found != 0 && dst[0] != 0xEE)
        abort();
    return 0;
}
