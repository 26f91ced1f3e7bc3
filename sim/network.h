// The station's network inside the sandbox: the loopback, the station's own
// interface with a chosen hardware address, and behind it, in a network
// namespace of its own, the collecting server (server.h). The server needs a
// namespace of its own because the program binds port 10003 on every local
// address. Everything is set up through rtnetlink (libnl-route-3).
#pragma once

#include "server.h"

#include <cstdint>
#include <string>

// Brings the loopback of the current network namespace up.
bool loopback_up(std::string &why);

enum class net_result { ok, unsupported, failed };

// Creates the station's interface (eth0, `mac`, 192.0.2.1/24) in the current
// network namespace, as its first interface after the loopback, with its peer
// (192.0.2.2/24) in a new namespace that holds the capture socket.
// `unsupported` when the system has no virtual interfaces.
net_result build_network(const uint8_t mac[6], server_end &srv, std::string &why);
