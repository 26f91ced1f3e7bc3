// The mean direction of every window gustlink can hold, as one digest that
// every build must reproduce bit for bit: the host's, and the router's, whose
// libm (musl's sine, cosine and atan2f) and floating point (GCC's soft-float
// routines) are not the host's.
//
// A window holds 1 to 10 samples, each at one of 17 directions (the direction
// code table's 16, or -1). The sums of their single-precision cosines and
// sines are exact in double precision (24 significant bits a term, the terms
// between 2^-20 and 1, the sums below 16), so the order of the samples never
// changes a sum: each multiset of directions stands for all its orders.
//
//   directions [WINDOWS]   (scripts/bench times the first WINDOWS alone)
#include "window.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int directions[17] = {-1,  0,   22,  45,  68,  90,  112, 135, 158,
                                180, 202, 225, 248, 270, 292, 315, 338};
float cosine[17], sine[17];
int picked[window_size];
uint32_t digest = 2166136261u; // FNV-1a, 32 bits
uint32_t windows;
uint32_t limit = UINT32_MAX;

void mix(uint32_t v) {
    for (int i = 0; i < 4; i++) {
        digest = (digest ^ ((v >> (8 * i)) & 0xffu)) * 16777619u;
    }
}

uint32_t bits(float f) {
    uint32_t u;
    memcpy(&u, &f, sizeof u);
    return u;
}

// Every multiset of `count` further directions, from index `from` on.
void walk(wind_state &w, int count, int from) {
    if (windows == limit)
        return;
    if (count > 0) {
        w.w_p = count;
        for (int i = 0; i < count; i++) {
            w.wind_xv[i] = cosine[picked[i]];
            w.wind_yv[i] = sine[picked[i]];
        }
        vector_sums(w);
        mix(static_cast<uint32_t>(mean_direction(w.w_xv, w.w_yv)));
        windows++;
    }
    if (count == window_size)
        return;
    for (int d = from; d < 17; d++) {
        picked[count] = d;
        walk(w, count + 1, d);
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1)
        limit = static_cast<uint32_t>(strtoul(argv[1], nullptr, 10));
    static wind_state w;
    // Each direction's vector as a sample admitted into an empty window has it.
    for (int d = 0; d < 17; d++) {
        w = wind_state{};
        admit(w, 0, directions[d]);
        cosine[d] = w.wind_xv[0];
        sine[d] = w.wind_yv[0];
        mix(bits(cosine[d]));
        mix(bits(sine[d]));
    }
    w = wind_state{};
    walk(w, 0, 0);
    printf("%" PRIu32 " windows, digest %08" PRIx32 "\n", windows, digest);
}
