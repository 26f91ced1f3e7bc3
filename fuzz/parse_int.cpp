// parse_int against the C library's strtol, base 10, on the same text.
#include "parse_int.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *text = reinterpret_cast<const char *>(data);
    std::string copy(text, size); // strtol wants its zero
    int out = 12345;
    parsed_int result = parse_int(text, size, &out);

    char *stop = nullptr;
    errno = 0;
    long expected = strtol(copy.c_str(), &stop, 10);
    if (stop == copy.c_str()) {
        if (result != parsed_int::none || out != 12345)
            abort();
    } else if (errno == ERANGE || expected > INT_MAX || expected < INT_MIN) {
        if (result != parsed_int::out_of_range || out != (expected < 0 ? INT_MIN : INT_MAX))
            abort();
    } else if (result != parsed_int::in_range || out != expected) {
        abort();
    }
    return 0;
}
