#include "datagram.h"

#include "station_id.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>

sockaddr_in servAddr;
sockaddr_in remoteServAddr;

namespace {

int sd = -1; // the datagram socket, negative when it could not be created
int rc;      // result of the last bind or send
bool server_known;

} // namespace

void build_report(uint8_t out[report_size], const char *id, int spd, int dir) {
    memset(out, 0, report_size);
    memcpy(out, id, 13);
    out[13] = static_cast<uint8_t>(spd);
    out[14] = static_cast<uint8_t>(dir / 256);
    out[15] = static_cast<uint8_t>(dir % 256);
}

void open_endpoint(const char *host) {
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
    hostent *h = gethostbyname(host);
    if (h == nullptr || h->h_addrtype != AF_INET || h->h_length != sizeof remoteServAddr.sin_addr ||
        h->h_addr_list[0] == nullptr) {
        printf("cannot resolve server host %s\n", host);
        server_known = false;
        return;
    }
    remoteServAddr.sin_family = AF_INET;
    memcpy(&remoteServAddr.sin_addr, h->h_addr_list[0], sizeof remoteServAddr.sin_addr);
    remoteServAddr.sin_port = htons(report_port);
    server_known = true;
}

int send_wind(int spd, int dir) {
    uint8_t report[report_size];
    build_report(report, maddr, spd, dir);
    rc = -1;
    if (server_known)
        rc = static_cast<int>(sendto(sd, report, sizeof report, 0,
                                     reinterpret_cast<const sockaddr *>(&remoteServAddr),
                                     sizeof remoteServAddr));
    if (rc < 0)
        printf("Error: cannot send: %d\n", rc);
    printf("sent spd:%d dir:%d\n", spd, dir);
    return 0;
}
