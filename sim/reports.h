// The wind reports that reach the collecting server, and the markers that
// tell when all of them have arrived.
#pragma once

#include "live.h"
#include "results.h"
#include "server.h"

#include <cstdint>

struct report_capture {
    const server_end *srv = nullptr;
    results *res = nullptr;
    live_display *live = nullptr;
    uint32_t marker = 0;       // the last marker sent
    uint32_t marker_first = 0; // the first one sent by this wait
    bool marker_seen = false;
    int count = 0; // reports captured
};

// Takes every datagram waiting at the server.
void take_datagrams(report_capture &rc);

// Sends a marker after everything the program may have sent and collects
// datagrams until the marker arrives. False when it never does.
bool await_marker(report_capture &rc);
