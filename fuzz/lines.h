// A line pair for the fuzz targets: the data line plays the input's bits, each
// byte least significant bit first, one per clock pulse. The readers never
// give up on their own, so a sample asked for after the last bit jumps back
// to the target through `end`.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>

void lines_start(const uint8_t *data, size_t size, jmp_buf *end);
