#include "parse_int.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(ParseInt, FollowsTheDecimalConversion) {
    int out = 77;
    EXPECT_EQ(parse_int("1\n", 2, &out), parsed_int::in_range);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(parse_int(" \t-42xyz", 8, &out), parsed_int::in_range);
    EXPECT_EQ(out, -42);
    EXPECT_EQ(parse_int("+150us", 6, &out), parsed_int::in_range);
    EXPECT_EQ(out, 150);
    EXPECT_EQ(parse_int("12", 1, &out), parsed_int::in_range); // only the given length
    EXPECT_EQ(out, 1);
}

TEST(ParseInt, LeavesTheTargetAloneWithoutANumber) {
    int out = 77;
    for (const char *text : {"", "x1", "-", "- 1", "\n", "+-1"})
        EXPECT_EQ(parse_int(text, strlen(text), &out), parsed_int::none) << text;
    EXPECT_EQ(out, 77);
}

TEST(ParseInt, EveryIntAndNothingBeyond) {
    struct parse_case {
        const char *text;
        parsed_int result;
        int out;
    };
    const parse_case cases[] = {
        {"2147483647", parsed_int::in_range, INT_MAX},
        {"-2147483648", parsed_int::in_range, INT_MIN},
        {"0002147483647", parsed_int::in_range, INT_MAX},
        {"2147483648", parsed_int::out_of_range, INT_MAX},
        {"-2147483649", parsed_int::out_of_range, INT_MIN},
        // Wrapped modulo 2^32 this would be 1661992959, a plausible period.
        {"99999999999999999999", parsed_int::out_of_range, INT_MAX},
        // And this one 0, a low data line.
        {"4294967296", parsed_int::out_of_range, INT_MAX},
        {"-99999999999999999999us", parsed_int::out_of_range, INT_MIN},
    };
    for (const parse_case &c : cases) {
        int out = 77;
        EXPECT_EQ(parse_int(c.text, strlen(c.text), &out), c.result) << c.text;
        EXPECT_EQ(out, c.out) << c.text;
    }
}

} // namespace
