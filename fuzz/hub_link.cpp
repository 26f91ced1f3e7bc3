// The hub frame link: any bit stream, and a frame it accepts must have passed
// both checks and lie within the frame buffer.
#include "crc8.h"
#include "lines.h"
#include "link.h"

#include <cstdlib>

void hub_wait(int32_t) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FILE *sink = fopen("/dev/null", "w");
    if (size == 0 || sink == nullptr)
        return 0;
    uint8_t frame[hub_frame_max];
    jmp_buf end;
    if (setjmp(end) != 0)
        return 0; // the stream ran out before a frame was accepted
    lines_start(data, size, &end);
    read_hub_frame(frame, (data[0] & 1) != 0, sink);
    uint8_t n = frame[1];
    if (frame[0] != hub_sync || !length_usable(n) || n < 3 || crc8(frame, 2) != frame[2] ||
        crc8(frame, static_cast<uint16_t>(n - 1)) != frame[n - 1])
        abort();
    return 0;
}
