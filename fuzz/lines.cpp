#include "lines.h"

#include "gpio.h"

int value;
line_faults line_fault;

namespace {

const uint8_t *bits_from;
size_t bit_count;
size_t next_bit;
int8_t clock_level;
jmp_buf *at_end;

} // namespace

void lines_start(const uint8_t *data, size_t size, jmp_buf *end) {
    bits_from = data;
    bit_count = size * 8;
    next_bit = 0;
    clock_level = 1;
    at_end = end;
    value = 0;
    line_fault = {};
}

void get() {
    if (next_bit >= bit_count)
        longjmp(*at_end, 1);
    value = (bits_from[next_bit / 8] >> (next_bit % 8)) & 1;
}

void set(int8_t level) {
    if (clock_level == 0 && level == 1)
        next_bit++;
    clock_level = level;
}
