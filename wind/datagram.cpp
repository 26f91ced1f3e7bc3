#include "datagram.h"

#include "station_id.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netdb.h>
#include <sys/socket.h>

sockaddr_in servAddr;
sockaddr_in remoteServAddr;

namespace {

int sd = -1; // the datagram socket, negative when it could not be created
int rc;      // result of the last bind or send
bool server_known;

// The server's name while it is not resolved: when it was last looked up,
// and how long to wait before the next look-up.
const char *server_host;
int64_t lookup_failed_at_ms;
int32_t lookup_wait_ms;

int64_t monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Looks the server up and fills `remoteServAddr`; false, leaving it as it
// was, when the name gives no IPv4 address.
bool resolve_server() {
    hostent *h = gethostbyname(server_host);
    if (h == nullptr || h->h_addrtype != AF_INET || h->h_length != sizeof remoteServAddr.sin_addr ||
        h->h_addr_list[0] == nullptr)
        return false;
    remoteServAddr = sockaddr_in{};
    remoteServAddr.sin_family = AF_INET;
    memcpy(&remoteServAddr.sin_addr, h->h_addr_list[0], sizeof remoteServAddr.sin_addr);
    remoteServAddr.sin_port = htons(report_port);
    return true;
}

} // namespace

void build_report(uint8_t out[report_size], const char *id, int spd, int dir) {
    memset(out, 0, report_size);
    memcpy(out, id, 13);
    out[13] = static_cast<uint8_t>(spd);
    out[14] = static_cast<uint8_t>(dir / 256);
    out[15] = static_cast<uint8_t>(dir % 256);
}

void open_endpoint(const char *host, int32_t retry_ms) {
    sd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sd < 0)
        printf("%d: cannot open socket \n", report_port);

    servAddr = sockaddr_in{};
    servAddr.sin_family = AF_INET;
    servAddr.sin_addr.s_addr = htonl(INADDR_ANY);
    servAddr.sin_port = htons(report_port);
    rc = bind(sd, reinterpret_cast<sockaddr *>(&servAddr), sizeof servAddr);
    if (rc < 0)
        printf("%d: cannot bind port number %d \n", report_port, report_port);

    remoteServAddr = sockaddr_in{};
    server_host = host;
    lookup_wait_ms = retry_ms;
    server_known = resolve_server();
    if (!server_known) {
        // Said once: the look-ups that follow fail in the same way until one
        // succeeds, and the system log is small.
        fprintf(stderr, "gustlink: cannot resolve server host %s\n", host);
        lookup_failed_at_ms = monotonic_ms();
    }
}

int send_wind(int spd, int dir) {
    uint8_t report[report_size];
    build_report(report, maddr, spd, dir);
    rc = -1;
    if (!server_known && server_host != nullptr &&
        lookup_due(lookup_failed_at_ms, monotonic_ms(), lookup_wait_ms)) {
        server_known = resolve_server();
        lookup_failed_at_ms = monotonic_ms();
    }
    if (server_known)
        rc = static_cast<int>(sendto(sd, report, sizeof report, 0,
                                     reinterpret_cast<const sockaddr *>(&remoteServAddr),
                                     sizeof remoteServAddr));
    if (rc < 0)
        printf("Error: cannot send: %d\n", rc);
    printf("sent spd:%d dir:%d\n", spd, dir);
    return 0;
}
