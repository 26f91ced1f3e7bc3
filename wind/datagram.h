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

// How long a name that could not be resolved waits before it is looked up
// again: a router may start the program before its network or resolver is
// up. Each look-up after the first runs in a child process, so that the wind
// cycle never waits for a resolver; one that has not answered when the next
// is due is ended first.
constexpr int32_t lookup_retry_ms = 60000;

// Builds the datagram for a gust and a direction.
void build_report(uint8_t out[report_size], const char *id, int spd, int dir);

// Whether the name is to be looked up again, the last look-up having started
// at `last_ms` (milliseconds of a clock that only goes forward).
constexpr bool lookup_due(int64_t last_ms, int64_t now_ms, int32_t retry_ms) {
    return now_ms - last_ms >= retry_ms;
}

// Creates the socket, binds it to local port 10003 and resolves `host`, here
// and now: at start-up nothing else waits. A failed socket or bind is
// reported on standard output and on standard error (the service's log gets
// only the latter), and the program goes on. A name that cannot be resolved
// is reported on standard error ("gustlink: cannot resolve server host
// NAME"), once; follow_lookup() looks it up again. Until it resolves every
// send fails and is reported.
void open_endpoint(const char *host, int32_t retry_ms = lookup_retry_ms);

// Looks `host` up with the C library's resolver, which may take its whole
// timeout; false when the name gives no IPv4 address. Apart in resolve.cpp,
// so that tests can stand in for the resolver.
bool resolve_host(const char *host, in_addr &out);

// Called once a wind cycle, never waiting. While the server's name is
// unknown: takes the answer of the look-up running in a child process, ends
// one that has run for `retry_ms`, reaps it in a later cycle and starts the
// next once every `retry_ms`. The child ends with the program
// (PR_SET_PDEATHSIG), whoever kills it. Once the name is known and the last
// child reaped, returns at once without a system call.
void follow_lookup();

// Sends one report and says so. Returns 0.
int send_wind(int spd, int dir);
