#include "gpio.h"
#include "scratch.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <gtest/gtest.h>

namespace {

constexpr line_pair wind_lines{2, 1};

// A scratch sysfs tree with the export file and both line directories.
struct gpio_tree {
    scratch_dir dir;
    std::string exp = dir.file("sys/class/gpio/export");
    std::string clock_dir = dir.file("sys/devices/virtual/gpio/gpio2/direction");
    std::string data_dir = dir.file("sys/devices/virtual/gpio/gpio1/direction");
    std::string clock_value = dir.file("sys/devices/virtual/gpio/gpio2/value");
    std::string data_value = dir.file("sys/devices/virtual/gpio/gpio1/value");

    gpio_tree() { gpio_bind(wind_lines, dir.path.c_str()); }
};

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

TEST(Lines, GetReadsTheDataLevel) {
    gpio_tree tree;
    write_text(tree.data_value, "1\n");
    get();
    EXPECT_EQ(value, 1);
    write_text(tree.data_value, "0\n");
    get();
    EXPECT_EQ(value, 0);
}

TEST(Lines, GetKeepsTheLastLevelWhenThereIsNothingToRead) {
    gpio_tree tree;
    int before = open_descriptors();
    write_text(tree.data_value, "1\n");
    get();
    write_text(tree.data_value, "");
    get();
    EXPECT_EQ(value, 1);
    write_text(tree.data_value, "high\n");
    get();
    EXPECT_EQ(value, 1);
    std::remove(tree.data_value.c_str());
    get();
    EXPECT_EQ(value, 1);
    EXPECT_EQ(open_descriptors(), before);
}

TEST(Lines, SetWritesTheLevelAndANewline) {
    gpio_tree tree;
    int before = open_descriptors();
    set(1);
    EXPECT_EQ(read_text(tree.clock_value), "1\n");
    set(0);
    EXPECT_EQ(read_text(tree.clock_value), "0\n");
    EXPECT_EQ(open_descriptors(), before);
}

TEST(Lines, MissingValueFilesAreSkippedAndRecorded) {
    scratch_dir dir; // no line directories at all
    gpio_bind(wind_lines, dir.path.c_str());
    int before = open_descriptors();
    line_fault = {};
    value = 1;
    set(1);
    EXPECT_FALSE(file_exists(dir.path + "/sys/devices/virtual/gpio/gpio2/value"));
    EXPECT_EQ(line_fault.clock, ENOENT);
    EXPECT_EQ(line_fault.data, 0);
    get();
    EXPECT_EQ(value, 1);
    EXPECT_EQ(line_fault.data, ENOENT);
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_STREQ(data_value_path(), (dir.path + "/sys/devices/virtual/gpio/gpio1/value").c_str());
}

TEST(Lines, WorkingLinesRecordNoFault) {
    gpio_tree tree;
    write_text(tree.data_value, "1\n");
    line_fault = {};
    set(0);
    get();
    set(1);
    EXPECT_EQ(line_fault.clock, 0);
    EXPECT_EQ(line_fault.data, 0);
}

TEST(Setup, ExportsBothLinesThenSetsDirections) {
    gpio_tree tree;
    EXPECT_TRUE(gpio_setup(true));
    // Both exports go through the one file; the second write replaces the first.
    EXPECT_EQ(read_text(tree.exp), "1\n");
    EXPECT_EQ(read_text(tree.clock_dir), "out\n");
    EXPECT_EQ(read_text(tree.data_dir), "in\n");
    // A second run, with the lines already exported, goes through it all again.
    write_text(tree.clock_dir, "in\n");
    EXPECT_TRUE(gpio_setup(true));
    EXPECT_EQ(read_text(tree.clock_dir), "out\n");
}

TEST(Setup, StopsWithoutTheExportFileWhenItIsRequired) {
    scratch_dir dir;
    std::string clock_dir = dir.file("sys/devices/virtual/gpio/gpio2/direction");
    dir.file("sys/devices/virtual/gpio/gpio1/direction");
    gpio_bind(wind_lines, dir.path.c_str());
    int before = open_descriptors();
    EXPECT_FALSE(gpio_setup(true));
    EXPECT_FALSE(file_exists(clock_dir));
    // Without the requirement, the missing export is skipped and the rest done.
    EXPECT_FALSE(gpio_setup(false));
    EXPECT_EQ(read_text(clock_dir), "out\n");
    EXPECT_EQ(open_descriptors(), before);
}

TEST(Setup, SkipsADirectionFileThatCannotBeOpened) {
    scratch_dir dir;
    std::string exp = dir.file("sys/class/gpio/export");
    std::string data_dir = dir.file("sys/devices/virtual/gpio/gpio1/direction");
    gpio_bind(wind_lines, dir.path.c_str());
    EXPECT_TRUE(gpio_setup(true));
    EXPECT_EQ(read_text(data_dir), "in\n");
}

} // namespace
