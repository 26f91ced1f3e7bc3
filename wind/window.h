// The sample window: up to 10 admitted wind samples, their gust, their
// vector-mean direction and the steadiness test of a full batch.
#pragma once

#include <cstdint>

struct wind_state {
    // The window: entries 0..w_p-1 are live, the rest stale and never read.
    int w_p;
    int wind_s[12];    // speed, 0..255
    float wind_xv[12]; // cosine of the direction
    float wind_yv[12]; // sine of the direction
    int win_d[10];     // direction in degrees, or -1
    // Spike filter: the last admitted speed, 0 after a rejection.
    uint8_t ref_speed;
    // Results of the last pass over the window.
    int w_max;   // gust, 0 for an empty window
    int w_dir;   // mean direction, 0..359
    double w_xv; // sum of cosines
    double w_yv; // sum of sines
};

constexpr int window_size = 10;

struct batch_stats {
    uint16_t avg;     // speed sum / samples, both modulo 65536
    uint16_t scatter; // sum of squared deviations from avg, modulo 65536
};

// Gust and the sums of cosines and sines over the window.
void vector_sums(wind_state &w);

// Mean direction in whole degrees from the sums, in single precision as the
// displays and the server have always been given it.
int mean_direction(double w_xv, double w_yv);

// Vector sums, average speed and scatter of the window (a full batch).
batch_stats judge_batch(wind_state &w);

// Steady enough to report.
constexpr bool batch_steady(batch_stats b) {
    return b.scatter < 100;
}

// Admits a sample unless the spike filter refuses it: from a reference of 0
// only speeds below 40 pass, otherwise at most 4 above the last admitted one.
// Returns whether it was admitted. The window must hold fewer than 10 samples.
bool admit(wind_state &w, int speed, int degrees);
