// Sensor records of a hub frame: each begins with a type byte, and the type
// alone fixes its size. Offsets are relative to the type byte; the decoders
// take a pointer to it and read only the bytes named here.
#pragma once

#include <cstdint>

struct record_shape {
    int size;      // bytes, type byte included; 0 for a type that is not known
    int last_read; // offset of the last byte the decoder reads
};

// Size and extent of a record type: 1, 2, 3, 5 and 6 are known.
record_shape shape_of(uint8_t type);

// Humidity record, type 1, 4 bytes:
//   +1 +2  temperature, signed 16-bit little-endian, tenths of a degree;
//          a high byte of 0xFE marks a record that is not reported
//   +3     relative humidity, unsigned 8-bit, per cent
struct humidity_reading {
    bool reported;
    float temp; // degrees
    int rh;
};
humidity_reading decode_humidity(const uint8_t *rec);

// 1-Wire temperature record, type 2, 5 bytes:
//   +1     sensor number, unsigned 8-bit
//   +2 +3  temperature, unsigned 16-bit little-endian, tenths of a degree
//   +4     not read
struct onewire_reading {
    int sensor;
    float temp; // degrees, 0 to 6553.5
};
onewire_reading decode_onewire(const uint8_t *rec);

// Rain record, type 3, 3 bytes:
//   +1  rain gauge impulses, unsigned 8-bit, 0.518 mm each
//   +2  not read
struct rain_reading {
    int impulses;
    double mm;
};
rain_reading decode_rain(const uint8_t *rec);

// Light record, type 6, 5 bytes:
//   +1 +2  channel 1, unsigned 16-bit little-endian
//   +3 +4  channel 2, unsigned 16-bit little-endian
// The UV index is channel 1 / 1000.
struct light_reading {
    int ch1;
    int ch2;
    double uv;
};
light_reading decode_light(const uint8_t *rec);
