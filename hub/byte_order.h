// 16-bit words of the hub's records, built with shifts so that every host
// reads them alike: little-endian in most records, big-endian in the pressure
// record.
#pragma once

#include <cstdint>

constexpr uint16_t le16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

constexpr uint16_t be16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
