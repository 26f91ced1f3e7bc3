#include "frame.h"

#include "gpio.h"

namespace {

bool lines_failed() {
    return line_fault.clock.error != 0 || line_fault.data.error != 0;
}

// One clocked byte: clock low, sample, clock high, eight times. False when a
// value file could not be opened; the pulse is finished all the same, so that
// the clock rests high.
bool read_byte(int &byte) {
    unsigned bits = 0;
    for (unsigned j = 0; j < 8; j++) {
        set(0);
        get();
        if (value != 0)
            bits |= 1u << j;
        set(1);
        if (lines_failed())
            return false;
    }
    byte = static_cast<int>(bits);
    return true;
}

} // namespace

frame_result read_frame(int frame[4]) {
    line_fault = {};
    for (int stored = 0; stored < 4; stored++) {
        int byte = 0;
        if (!read_byte(byte))
            return frame_result::line_failed;
        if (stored == 0 && byte != wind_sync) {
            set(0); // one pulse unread, so the next try is shifted by a bit
            set(1);
            return lines_failed() ? frame_result::line_failed : frame_result::no_sync;
        }
        frame[stored] = byte;
    }
    return frame_result::read;
}

bool frame_ok(const int frame[4]) {
    return frame[1] + frame[2] + 2 == frame[3];
}

int direction_degrees(int code) {
    // A Gray code over the 16 compass sectors: neighbours differ in one bit.
    static constexpr int degrees[16] = {22,  0,   90,  292, 45,  338, 68,  315,
                                        180, 202, 112, 270, 158, 225, 135, 248};
    return static_cast<unsigned>(code) < 16u ? degrees[code] : -1;
}
