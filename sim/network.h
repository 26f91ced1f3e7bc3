// The station's network inside the sandbox: the loopback, the station's own
// interface with a chosen hardware address, and behind it, in a network
// namespace of its own, the collecting server that captures the wind reports.
// The server needs a namespace of its own because the program binds port
// 10003 on every local address.
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
};

// Brings the loopback of the current network namespace up.
bool loopback_up(std::string &why);

enum class net_result { ok, unsupported, failed };

// Creates the station's interface (eth0, `mac`, 192.0.2.1/24) in the current
// network namespace, as its first interface after the loopback, with its peer
// (192.0.2.2/24) in a new namespace that holds the capture socket.
// `unsupported` when the system has no virtual interfaces.
net_result build_network(const uint8_t mac[6], server_end &srv, std::string &why);

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
