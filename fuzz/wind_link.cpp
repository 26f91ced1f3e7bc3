// The wind frame link and the sample window: any bit stream, fed through the
// steps gustlink takes for every sound frame. The window never holds more
// than 10 samples and every direction it gives is a compass degree.
#include "frame.h"
#include "lines.h"
#include "window.h"

#include <cstdlib>

namespace {

void check_direction(int dir) {
    if (dir < 0 || dir > 359)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static wind_state w;
    if (size == 0)
        return 0;
    w = wind_state{};
    jmp_buf end;
    if (setjmp(end) != 0)
        return 0; // the stream ran out
    lines_start(data, size, &end);
    int frame[4];
    for (;;) {
        if (read_frame(frame) != frame_result::read || !frame_ok(frame))
            continue;
        int degrees = direction_degrees(frame[2]);
        if (degrees < -1 || degrees > 359)
            abort();
        vector_sums(w);
        check_direction(mean_direction(w.w_xv, w.w_yv));
        if (w.w_p >= window_size) {
            batch_stats b = judge_batch(w);
            if (w.w_max < 0 || w.w_max > 255 || b.avg > 255)
                abort();
            check_direction(mean_direction(w.w_xv, w.w_yv));
            w.w_p = 0;
        }
        admit(w, frame[1], degrees);
        if (w.w_p > window_size)
            abort();
    }
}
