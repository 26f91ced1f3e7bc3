// The record walk: prints every reading of an accepted hub frame and writes
// the sensor report file, one URL query-string fragment per reported record
// ("&hom=21.5&rh=45&csap=1.554..."), in record order, without a line end.
#pragma once

#include "link.h"

#include <cstdio>

// Truncates the report file at `path` (as mode "w"), then walks the records
// of `frame` (it passed both checks, so its length N at index 1 is 3..56),
// printing on `out` and writing one fragment per reported record. A report
// file that cannot be opened is skipped: the readings are printed only. The
// walk ends after the last record, at a type it does not know, or at a record
// that would read the frame CRC or beyond. The file is closed on return.
void report_frame(const uint8_t frame[hub_frame_max], FILE *out, const char *path);
