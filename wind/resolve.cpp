#include "datagram.h"

#include <cstring>
#include <netdb.h>

bool resolve_host(const char *host, in_addr &out) {
    hostent *h = gethostbyname(host);
    if (h == nullptr || h->h_addrtype != AF_INET || h->h_length != sizeof out ||
        h->h_addr_list[0] == nullptr)
        return false;
    memcpy(&out, h->h_addr_list[0], sizeof out);
    return true;
}
