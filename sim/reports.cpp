#include "reports.h"

#include "record.h"

#include <poll.h>

namespace {

// How long the server may take to see its own marker: a safety net for a
// broken network, never a pace the run depends on.
constexpr int64_t marker_wait_us = 10000000;
// How long a marker may take before it counts as lost on a link coming up.
constexpr int marker_resend_ms = 20;

} // namespace

void take_datagrams(report_capture &rc) {
    datagram d;
    while (rc.srv->capture_fd >= 0 && receive_datagram(*rc.srv, d)) {
        if (d.marker) {
            rc.marker_seen = rc.marker_seen || d.marker_number >= rc.marker_first;
            continue;
        }
        std::string text = describe_report(d.data.data(), d.data.size(), d.from, d.to);
        append(*rc.res, result_stream::datagrams, text);
        rc.count++;
        size_t first = text.find('\n'), second = text.find('\n', first + 1);
        live_line(*rc.live, "wind report:" + text.substr(first + 2, second - first - 2) + " (" +
                                text.substr(0, first) + ")");
    }
}

bool await_marker(report_capture &rc) {
    if (rc.srv->capture_fd < 0)
        return true;
    rc.marker_seen = false;
    rc.marker_first = rc.marker + 1;
    int64_t deadline = now_us() + marker_wait_us;
    while (!rc.marker_seen) {
        if (now_us() > deadline || !send_marker(*rc.srv, ++rc.marker))
            return false;
        pollfd p{rc.srv->capture_fd, POLLIN, 0};
        poll(&p, 1, marker_resend_ms); // a timeout or a datagram: either way, look
        take_datagrams(rc);
    }
    return true;
}
