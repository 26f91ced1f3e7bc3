// The 1-Wire bus CRC-8: polynomial x^8 + x^5 + x^4 + 1 taken least
// significant bit first, initial value 0, no final inversion. It guards the
// header and the whole of every hub frame.
#pragma once

#include <cstdint>

// CRC of `length` bytes from `bytes`; 0 for no bytes. Keeps no state.
uint8_t crc8(const uint8_t *bytes, uint16_t length);
