// Pressure record, type 5, 28 bytes: the factory calibration and two raw
// readings of the hub's barometric sensor, every word big-endian:
//
//   +1 AC1  +3 AC2  +5 AC3          signed 16-bit
//   +7 AC4  +9 AC5  +11 AC6         unsigned 16-bit
//   +13 B1  +15 B2                  signed 16-bit
//   +17 MB                          not read
//   +19 MC  +21 MD                  signed 16-bit
//   +23 UT                          raw temperature, unsigned 16-bit
//   +25..+27                        raw pressure, unsigned 24-bit; UP is it >> 5
//
// The compensation is the sensor's fixed-point one at oversampling 3, in
// 32-bit two's-complement arithmetic that wraps (done in unsigned types).
#pragma once

#include <cstdint>

struct pressure_record {
    int16_t ac1, ac2, ac3;
    uint16_t ac4, ac5, ac6;
    int16_t b1, b2, mc, md;
    uint16_t ut;
    int32_t up; // 0 to 524287
};

pressure_record decode_pressure(const uint8_t *rec);

// Every intermediate of the compensation, for the record's three values and
// for checking the steps one by one.
struct compensation {
    // Temperature.
    int32_t x1, x2, b5;
    int16_t t; // tenths of a degree
    // Pressure; x1p, x2p are X1 and X2 with the values of the pressure steps.
    int32_t b6, x3;
    uint32_t b4;
    int32_t x1p, x2p, b3, b7;
    int32_t p_raw; // after the division
    int32_t p;     // station pressure, pascals
};

enum class compensation_status {
    ok,
    no_temperature, // X1 + MD is 0: nothing can be had
    no_pressure,    // B4 is 0: the temperature only
};

// Runs the compensation as far as its divisors allow; the fields of steps it
// could not reach stay 0.
compensation_status compensate(const pressure_record &r, compensation &c);

// Station pressure reduced to sea level for a station 145 m up, in hPa:
// (p / (1 - 145/44330)^5.255) / 100, two divisions in that order.
double sea_level_hpa(int32_t p);
