#include "link.h"

#include "crc8.h"
#include "fault.h"
#include "gpio.h"

#include <cstring>

int32_t sltime = 100;

namespace {

fault_run clock_run;
fault_run data_run;

// A line that fails (not exported, other numbers, refusing writes) never
// yields a frame: say so once per run of failures, as the hunt goes on until
// the run's time limit.
void note_line(fault_run &run, const line_error &e) {
    if (starts_run(run, e.error))
        fprintf(stderr, "hubpoll: cannot %s %s: %s\n", e.action, e.file, strerror(e.error));
}

// One byte, bit 0 first. At byte 0 the byte is a window sliding over the bit
// stream until it equals the sync byte: each further pulse drops the oldest
// bit and reads the newest into bit 7. False when a line failed during a
// pulse; that pulse is finished all the same, so that the clock rests high.
bool read_byte(uint8_t &byte, bool hunt, bool trace, FILE *out) {
    byte = 0;
    long pulses = 0;
    for (int j = 0; j < 8; j++) {
        if (hunt && pulses++ >= hunt_patience)
            hub_wait(hunt_pause_us); // the board is missing or stuck
        line_fault = {};
        set(0);
        hub_wait(sltime);
        get();
        if (value != 0)
            byte = static_cast<uint8_t>(byte | 1u << j);
        if (trace)
            fprintf(out, "bit %d value %d readByte%d\n", j, value, byte);
        if (hunt && j == 7 && byte != hub_sync) {
            byte = static_cast<uint8_t>(byte >> 1);
            j = 6;
        }
        set(1);
        note_line(clock_run, line_fault.clock);
        note_line(data_run, line_fault.data);
        hub_wait(sltime);
        if (line_fault.clock.error != 0 || line_fault.data.error != 0)
            return false;
    }
    return true;
}

} // namespace

void read_hub_frame(uint8_t frame[hub_frame_max], bool trace, FILE *out) {
    for (;;) {
        uint8_t index = 0;
        uint8_t expected = 3;
        bool header_failed = false;
        bool line_failed = false;
        while (index < expected) {
            if (!read_byte(frame[index], index == 0, trace, out)) {
                line_failed = true;
                break;
            }
            if (index == 2) {
                if (crc8(frame, 2) != frame[2]) {
                    header_failed = true;
                    break;
                }
                expected = frame[1];
                if (!length_usable(expected))
                    break;
            }
            index++;
        }
        if (line_failed) {
            // The frame is lost; a pause, so that a line that keeps failing
            // never keeps a core busy, even with a half period of 0.
            hub_wait(line_pause_us);
            continue;
        }
        if (header_failed) {
            fprintf(out, "CRC\n");
        } else {
            uint8_t n = frame[1];
            if (length_usable(n) && crc8(frame, static_cast<uint16_t>(n - 1)) == frame[n - 1])
                return;
        }
        hub_wait(retry_wait_us);
    }
}
