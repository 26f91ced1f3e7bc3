#include "crc8.h"

uint8_t crc8(const uint8_t *bytes, uint16_t length) {
    uint8_t crc = 0;
    for (uint16_t k = 0; k != length; k++) {
        uint8_t b = bytes[k];
        for (int bit = 0; bit < 8; bit++) {
            bool mix = ((crc ^ b) & 1u) != 0;
            if (mix)
                crc ^= 0x18u;
            crc = static_cast<uint8_t>(crc >> 1);
            if (mix)
                crc |= 0x80u;
            b = static_cast<uint8_t>(b >> 1);
        }
    }
    return crc;
}
