// The record walk: prints every reading of an accepted hub frame and gathers
// the sensor report, one URL query-string fragment per reported record
// ("&hom=21.5&rh=45&csap=1.554..."), in record order, without a line end.
#pragma once

#include "link.h"

#include <cstddef>
#include <cstdio>

// The longest report a frame can carry is 13 humidity records of
// "&hom=-3276.8&rh=255": 247 characters.
constexpr size_t report_max = 320;

struct sensor_report {
    char text[report_max]; // zero-terminated
    size_t len;
};

// Walks the records of `frame` (it passed both checks, so its length N at
// index 1 is 3..56), printing on `out` and appending one fragment per reported
// record to `report`, which starts empty. The walk ends after the last record,
// at a type it does not know, or at a record that would read the frame CRC or
// beyond: no byte from index N - 1 on is read.
void walk_records(const uint8_t frame[hub_frame_max], FILE *out, sensor_report &report);
