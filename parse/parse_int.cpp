#include "parse_int.h"

#include <climits>
#include <cstdint>

namespace {

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

parsed_int parse_int(const char *text, size_t len, int *out) {
    size_t k = 0;
    while (k < len && is_space(text[k]))
        k++;
    bool negative = false;
    if (k < len && (text[k] == '+' || text[k] == '-')) {
        negative = text[k] == '-';
        k++;
    }
    if (k >= len || !is_digit(text[k]))
        return parsed_int::none;
    // The magnitude in unsigned arithmetic, stopped before it can pass the
    // largest one an int holds (2^31 for a negative number).
    const uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    uint32_t magnitude = 0;
    bool over = false;
    for (; k < len && is_digit(text[k]); k++) {
        auto digit = static_cast<uint32_t>(text[k] - '0');
        if (magnitude > (limit - digit) / 10u)
            over = true;
        else
            magnitude = magnitude * 10u + digit;
    }
    if (over) {
        *out = negative ? INT_MIN : INT_MAX;
        return parsed_int::out_of_range;
    }
    *out = static_cast<int>(negative ? 0u - magnitude : magnitude);
    return parsed_int::in_range;
}
