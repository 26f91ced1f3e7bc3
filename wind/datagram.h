// The wind report: one 32-byte UDP datagram per steady batch, from local port
// 10003 to port 10003 of the collecting server.
//
//   0..12   station identifier text with its terminating zero (zeros if none)
//   13      gust, low 8 bits of the speed
//   14      direction / 256, low 8 bits
//   15      direction % 256, low 8 bits
//   16..31  zero
#pragma once

#include <cstdint>
#include <netinet/in.h>

constexpr int report_port = 10003;
constexpr int report_size = 32;

extern sockaddr_in servAddr;       // local address: any, port 10003
extern sockaddr_in remoteServAddr; // the server, once resolved

// Builds the datagram for a gust and a direction.
void build_report(uint8_t out[report_size], const char *id, int spd, int dir);

// Creates the socket, binds it to local port 10003 and resolves `host` once.
// Each failure is reported on standard output and the program goes on;
// without a resolved server every send fails and is reported.
void open_endpoint(const char *host);

// Sends one report and says so. Returns 0.
int send_wind(int spd, int dir);
