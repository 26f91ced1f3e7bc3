// Decimal text as the "%d" conversion reads it, without its undefined
// behaviour beyond the range of an int. Both programs read numbers this way:
// a line's level from its value file, hubpoll's half period from its command
// line.
#pragma once

#include <cstddef>

enum class parsed_int {
    none,         // no number: the target is left alone
    in_range,     // the number, stored
    out_of_range, // beyond int: INT_MAX or INT_MIN stored, by its sign
};

// Parses the leading decimal integer of `text`: leading white space, an
// optional sign, then digits; the rest is ignored. Looks at no more than `len`
// bytes.
parsed_int parse_int(const char *text, size_t len, int *out);
