#include "live.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// A program that never ends its line (a run of "CRC") is shown in pieces of
// this size, so that the display keeps up and holds no more.
constexpr size_t line_max = 4096;

void show(live_display &d, std::string &pending, const char *label, bool all) {
    for (;;) {
        size_t nl = pending.find('\n');
        if (nl == std::string::npos && pending.size() < line_max && !(all && !pending.empty()))
            return;
        size_t len = nl != std::string::npos ? nl : std::min(pending.size(), line_max);
        std::string shown;
        for (size_t k = 0; k < len; k++)
            if (pending[k] != '\r') // the wind client ends its lines with "\n\r"
                shown += pending[k];
        pending.erase(0, nl != std::string::npos ? nl + 1 : len);
        live_line(d, d.name + label + ": " + shown);
    }
}

} // namespace

int64_t now_us() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts); // cannot fail for this clock
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void live_line(const live_display &d, const std::string &text) {
    if (!d.on)
        return;
    double t = static_cast<double>(now_us() - d.t0) / 1e6;
    std::printf("[%8.3f] %s\n", t, text.c_str());
    std::fflush(stdout);
}

void live_output(live_display &d, bool is_err, const std::string &chunk) {
    if (!d.on)
        return;
    std::string &pending = is_err ? d.pending_err : d.pending_out;
    pending += chunk;
    show(d, pending, is_err ? " (stderr)" : "", false);
}

void live_finish(live_display &d) {
    show(d, d.pending_out, "", true);
    show(d, d.pending_err, " (stderr)", true);
}
