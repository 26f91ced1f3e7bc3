#include "station_id.h"

#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

char maddr[255];

namespace {

// The type of ioctl's request: unsigned long in glibc, int in musl.
template <typename R> R request_type(int (*)(int, R, ...));
using ioctl_request = decltype(request_type(&ioctl));

int kernel_query(int sd, unsigned long request, ifreq *req) {
    return ioctl(sd, static_cast<ioctl_request>(request), req);
}

} // namespace

size_t listed_interfaces(int ifc_len, size_t record, size_t capacity) {
    if (ifc_len <= 0)
        return 0;
    size_t count = static_cast<size_t>(ifc_len) / record;
    return count < capacity ? count : capacity;
}

int pick_interface(int sd, const ifreq *list, size_t count, ifreq_query query, uint8_t *dst) {
    for (size_t k = 0; k < count; k++) {
        ifreq req{};
        memcpy(req.ifr_name, list[k].ifr_name, IFNAMSIZ - 1);
        if (query(sd, SIOCGIFFLAGS, &req) < 0)
            continue;
        if ((req.ifr_flags & IFF_LOOPBACK) != 0)
            continue;
        if (query(sd, SIOCGIFHWADDR, &req) < 0)
            continue;
        memcpy(dst, req.ifr_hwaddr.sa_data, 6);
        return 0;
    }
    return -1;
}

int mac_addr_sys(uint8_t *dst) {
    int sd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sd < 0)
        return -1;
    // Room for 1024 bytes of records, as many as the platform's record size
    // allows (32 on the router, 40 on a 64-bit host).
    ifreq list[1024 / sizeof(ifreq)];
    ifconf ifc{};
    ifc.ifc_len = static_cast<int>(sizeof list);
    ifc.ifc_req = list;
    int found = -1;
    if (ioctl(sd, SIOCGIFCONF, &ifc) >= 0) {
        size_t count = listed_interfaces(ifc.ifc_len, sizeof(ifreq), sizeof list / sizeof(ifreq));
        found = pick_interface(sd, list, count, kernel_query, dst);
    }
    close(sd);
    return found;
}

void format_station_id(const uint8_t addr[6], char *out, size_t size) {
    snprintf(out, size, "%2.2x%2.2x%2.2x%2.2x%2.2x%2.2x", addr[0], addr[1], addr[2], addr[3],
             addr[4], addr[5]);
}
