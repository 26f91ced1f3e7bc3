// The record walk with the barometric compensation, over any accepted frame:
// every byte from the frame CRC on is poisoned, so that reading it stops the
// run, and the report must come out whole.
//
// Input: byte 0 picks the frame length N (3..56); the rest are the bytes from
// index 2 on.
#include "walk.h"

#include <cstdlib>
#include <cstring>
#include <sanitizer/asan_interface.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FILE *sink = fopen("/dev/null", "w");
    // Ends on an 8-byte boundary, so that the poisoning reaches exactly from
    // the frame CRC to the end.
    alignas(8) static uint8_t frame[hub_frame_max];
    if (size == 0 || sink == nullptr)
        return 0;
    const int n = 3 + data[0] % (hub_frame_max - 2);
    memset(frame, 0, sizeof frame);
    frame[0] = hub_sync;
    frame[1] = static_cast<uint8_t>(n);
    size_t body = size - 1 < static_cast<size_t>(n - 3) ? size - 1 : static_cast<size_t>(n - 3);
    memcpy(frame + 2, data + 1, body);
    ASAN_POISON_MEMORY_REGION(frame + n - 1, sizeof frame - static_cast<size_t>(n - 1));

    sensor_report report;
    walk_records(frame, sink, report);
    ASAN_UNPOISON_MEMORY_REGION(frame, sizeof frame);
    if (report.len >= report_max || strlen(report.text) != report.len)
        abort();
    return 0;
}
