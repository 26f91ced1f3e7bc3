#include "sample.h"

#include "gpio.h"
#include "report.h"

#include <cstdio>

namespace {

// "%d %d" without a line end, as the displays read it.
bool write_pair(const char *path, int gust, int dir) {
    char text[32];
    int len = snprintf(text, sizeof text, "%d %d", gust, dir);
    return write_file(path, text, static_cast<size_t>(len));
}

} // namespace

void take_sample(wind_state &w, int speed, int degrees, const wind_paths &paths) {
    // The realtime file shows the window as it stood before this sample. A
    // temporary file that could not be written is never published.
    vector_sums(w);
    w.w_dir = mean_direction(w.w_xv, w.w_yv);
    if (write_pair(paths.realtime_tmp, w.w_max, w.w_dir))
        rename(paths.realtime_tmp, paths.realtime);

    if (w.w_p >= window_size) {
        batch_stats b = judge_batch(w);
        if (batch_steady(b)) {
            w.w_dir = mean_direction(w.w_xv, w.w_yv);
            write_pair(paths.gauge, w.w_max, w.w_dir);
            send_wind(w.w_max, w.w_dir);
        } else {
            printf("scat: %d avg:%d\n", b.scatter, b.avg);
        }
        w.w_p = 0;
    }

    admit(w, speed, degrees);
}
