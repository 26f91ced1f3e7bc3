#include "window.h"

#include <cmath>

void vector_sums(wind_state &w) {
    w.w_max = 0;
    w.w_xv = 0.0;
    w.w_yv = 0.0;
    for (int i = 0; i < w.w_p; i++) {
        if (w.wind_s[i] > w.w_max)
            w.w_max = w.wind_s[i];
        w.w_xv += static_cast<double>(w.wind_xv[i]);
        w.w_yv += static_cast<double>(w.wind_yv[i]);
    }
}

int mean_direction(double w_xv, double w_yv) {
    // Every step in single precision, so that the degree matches the one the
    // station has always reported. 57.29582595825195f is 180 / 3.14159f.
    float a = atan2f(static_cast<float>(w_yv), static_cast<float>(w_xv));
    a = a * 57.29582595825195f;
    a = a + 360.0f;
    return static_cast<int>(roundf(a)) % 360;
}

batch_stats judge_batch(wind_state &w) {
    vector_sums(w);
    uint16_t sum = 0;
    for (int i = 0; i < w.w_p; i++)
        sum = static_cast<uint16_t>(sum + w.wind_s[i]);
    batch_stats b{};
    b.avg = static_cast<uint16_t>(sum / w.w_p);
    for (int i = 0; i < w.w_p; i++) {
        int32_t d = w.wind_s[i] - b.avg;
        b.scatter = static_cast<uint16_t>(b.scatter + static_cast<uint32_t>(d * d));
    }
    return b;
}

bool admit(wind_state &w, int speed, int degrees) {
    if (w.w_p >= window_size)
        return false; // the batch empties a full window first; never write past it
    if (w.ref_speed == 0 && speed < 40)
        w.ref_speed = static_cast<uint8_t>(speed);
    if (speed >= w.ref_speed + 5) {
        w.ref_speed = 0;
        return false;
    }
    w.ref_speed = static_cast<uint8_t>(speed);
    // 3.141590118408203f is the single-precision 3.14159 the station uses.
    float r = static_cast<float>(degrees) * 3.141590118408203f / 180.0f;
    w.wind_s[w.w_p] = speed;
    w.wind_xv[w.w_p] = static_cast<float>(cos(static_cast<double>(r)));
    w.wind_yv[w.w_p] = static_cast<float>(sin(static_cast<double>(r)));
    w.win_d[w.w_p] = degrees;
    w.w_p++;
    return true;
}
