#include "sample.h"

#include "datagram.h"
#include "publish.h"

#include <cstdio>
#include <cstring>

namespace {

// "%d %d" without a line end, as the displays read it.
void write_pair(wind_output &out, int gust, int dir) {
    char text[32];
    int len = snprintf(text, sizeof text, "%d %d", gust, dir);
    int error = publish(out.tmp, out.path, text, static_cast<size_t>(len));
    if (starts_run(out.run, error))
        fprintf(stderr, "gustlink: cannot write %s: %s\n", out.path, strerror(error));
}

} // namespace

void take_sample(wind_state &w, int speed, int degrees, wind_outputs &out) {
    // The realtime file shows the window as it stood before this sample.
    vector_sums(w);
    w.w_dir = mean_direction(w.w_xv, w.w_yv);
    write_pair(out.realtime, w.w_max, w.w_dir);

    if (w.w_p >= window_size) {
        batch_stats b = judge_batch(w);
        if (batch_steady(b)) {
            w.w_dir = mean_direction(w.w_xv, w.w_yv);
            write_pair(out.gauge, w.w_max, w.w_dir);
            send_wind(w.w_max, w.w_dir);
        } else {
            printf("scat: %d avg:%d\n", b.scatter, b.avg);
        }
        w.w_p = 0;
    }

    admit(w, speed, degrees);
}
