#include "board.h"

bool clock_write(board &b, int level) {
    int high = level != 0 ? 1 : 0;
    bool falling = b.clock == 1 && high == 0;
    b.writes++;
    b.clock = high;
    if (falling)
        b.pulses++;
    return falling;
}

bool exhausted(const board &b) {
    return b.rounds != 0 && b.pulses > b.bits.size() * b.rounds;
}

bool run_out(const board &b) {
    return exhausted(b) && !b.low_at_end;
}

int data_level(const board &b) {
    if (b.pulses == 0 || b.bits.empty() || exhausted(b))
        return 0;
    return b.bits[(b.pulses - 1) % b.bits.size()];
}

int serve_sample(board &b) {
    b.samples++;
    if (b.clock == 1)
        b.high_samples++;
    return data_level(b);
}
