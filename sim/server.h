// The collecting server behind the station's interface: it captures every
// datagram that reaches its port 10003, and the station's markers tell when
// everything the program sent has arrived. The same host is the station's
// name server (port 53), for scenarios whose names come from one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr const char *station_address = "192.0.2.1";
constexpr const char *server_address = "192.0.2.2";
constexpr uint16_t report_port = 10003;

struct server_end {
    int capture_fd = -1; // UDP, port 10003 on the server, non-blocking
    int marker_fd = -1;  // UDP on the station, sends the markers
    uint16_t marker_port = 0;
    int dns_fd = -1; // UDP, port 53 on the server, non-blocking
};

// Opens the capture socket in the current network namespace (the server's).
bool open_capture(server_end &srv, std::string &why);

// Opens the name server's socket in the current network namespace (the
// server's).
bool open_name_server(server_end &srv, std::string &why);

// The answer to one DNS query: the server's address for `name` (any case, a
// final dot or none), "no such name" for another name, no address for
// another type of record. Empty for what is no query: nothing is sent back.
std::vector<uint8_t> dns_answer(const uint8_t *query, size_t len, const std::string &name);

// Takes the queries waiting at the name server; answers them when
// `answering`, else drops them, as a name server that cannot be reached.
void serve_queries(const server_end &srv, bool answering, const std::string &name);

// Opens the marker socket in the current network namespace (the station's).
bool open_marker(server_end &srv, std::string &why);

// One datagram that reached the server.
struct datagram {
    std::vector<uint8_t> data;
    std::string from, to; // "address:port"
    bool marker = false;  // sent by send_marker(), not by the program
    uint32_t marker_number = 0;
};

// Takes one waiting datagram. False when none is waiting.
bool receive_datagram(const server_end &srv, datagram &out);

// Sends marker `number` to the server along the program's path: once it
// arrives, everything the program sent before has arrived too. A fresh link
// loses what is sent before the kernel has switched it on, so a marker that
// does not arrive is sent again. False on a fault of the socket.
bool send_marker(const server_end &srv, uint32_t number);
