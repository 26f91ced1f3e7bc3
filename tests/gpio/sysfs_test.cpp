#include "gpio.h"
#include "scratch.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr line_pair wind_lines{2, 1};

// Where a kernel with a device-tree GPIO chip keeps an exported line; only
// the link in /sys/class/gpio leads there, so a program that names any other
// path finds nothing.
const std::string chip_lines = "sys/devices/platform/gpio/gpiochip0/gpio/";

// A scratch sysfs tree: the export file is a FIFO held open here, so that
// every write to it is kept in order; each line has its directory under the
// chip and its class link, and the files of those given.
struct gpio_tree {
    scratch_dir dir;
    int exp = -1;
    int before = open_descriptors();

    explicit gpio_tree(bool with_export = true) {
        dir.file("sys/class/gpio/.keep");
        if (with_export) {
            std::string path = dir.path + "/sys/class/gpio/export";
            EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
            exp = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        }
        gpio_bind(wind_lines, dir.path.c_str());
        line_fault = {};
    }
    ~gpio_tree() {
        if (exp >= 0)
            close(exp);
        EXPECT_EQ(open_descriptors(), before);
    }

    // The line's directory and its link, with a direction and a value file.
    void line(int number) {
        std::string name = "gpio" + std::to_string(number);
        write_text(dir.file(chip_lines + name + "/direction"), "in\n");
        write_text(dir.file(chip_lines + name + "/value"), "0\n");
        std::string link = dir.path + "/sys/class/gpio/" + name;
        EXPECT_EQ(
            symlink(("../../devices/platform/gpio/gpiochip0/gpio/" + name).c_str(), link.c_str()),
            0);
    }
    std::string file(int number, const char *name) const {
        return dir.path + "/" + chip_lines + "gpio" + std::to_string(number) + "/" + name;
    }
    // What the export file was given, in order.
    std::string exported() const {
        char buf[256];
        ssize_t got = read(exp, buf, sizeof buf);
        return got > 0 ? std::string(buf, static_cast<size_t>(got)) : "";
    }
    // A file that refuses every write, as a line the kernel keeps from us does.
    void refusing(int number, const char *name) const {
        std::string path = file(number, name);
        EXPECT_EQ(unlink(path.c_str()), 0);
        EXPECT_EQ(symlink("/dev/full", path.c_str()), 0);
    }
};

TEST(Lines, GetReadsTheDataLevel) {
    gpio_tree tree;
    tree.line(1);
    write_text(tree.file(1, "value"), "1\n");
    get();
    EXPECT_EQ(value, 1);
    write_text(tree.file(1, "value"), "0\n");
    get();
    EXPECT_EQ(value, 0);
    EXPECT_EQ(line_fault.data.error, 0);
}

TEST(Lines, GetKeepsTheLastLevelWhenThereIsNothingToRead) {
    gpio_tree tree;
    tree.line(1);
    std::string data = tree.file(1, "value");
    write_text(data, "1\n");
    get();
    for (const char *text : {"", "high\n"}) {
        write_text(data, text);
        get();
        EXPECT_EQ(value, 1) << text;
    }
    EXPECT_EQ(line_fault.data.error, 0); // no number is no failure of the line
    // A value file that opens but cannot be read.
    ASSERT_EQ(unlink(data.c_str()), 0);
    ASSERT_EQ(mkdir(data.c_str(), 0755), 0);
    get();
    EXPECT_EQ(value, 1);
    EXPECT_EQ(line_fault.data.error, EISDIR);
    EXPECT_STREQ(line_fault.data.action, "read");
}

TEST(Lines, SetWritesTheLevelAndANewline) {
    gpio_tree tree;
    tree.line(2);
    set(1);
    EXPECT_EQ(read_text(tree.file(2, "value")), "1\n");
    set(0);
    EXPECT_EQ(read_text(tree.file(2, "value")), "0\n");
    EXPECT_EQ(line_fault.clock.error, 0);
}

TEST(Lines, MissingValueFilesAreRecordedAndNothingIsCreated) {
    gpio_tree tree; // no line exported
    value = 1;
    set(1);
    EXPECT_EQ(line_fault.clock.error, ENOENT);
    EXPECT_STREQ(line_fault.clock.action, "open");
    std::string clock = tree.dir.path + "/sys/class/gpio/gpio2/value";
    EXPECT_STREQ(line_fault.clock.file, clock.c_str());
    EXPECT_EQ(line_fault.data.error, 0);
    get();
    EXPECT_EQ(value, 1);
    EXPECT_EQ(line_fault.data.error, ENOENT);
    EXPECT_FALSE(file_exists(tree.dir.path + "/sys/class/gpio/gpio2"));
}

TEST(Lines, AValueFileThatRefusesTheWriteIsRecorded) {
    gpio_tree tree;
    tree.line(2);
    tree.refusing(2, "value");
    set(0);
    EXPECT_EQ(line_fault.clock.error, ENOSPC);
    EXPECT_STREQ(line_fault.clock.action, "write");
    EXPECT_EQ(std::string(line_fault.clock.file), tree.dir.path + "/sys/class/gpio/gpio2/value");
}

TEST(Setup, ExportsBothLinesInOrderThenSetsDirections) {
    gpio_tree tree;
    tree.line(2);
    tree.line(1);
    EXPECT_TRUE(gpio_setup(true));
    EXPECT_EQ(tree.exported(), "2\n1\n");
    EXPECT_EQ(read_text(tree.file(2, "direction")), "out\n");
    EXPECT_EQ(read_text(tree.file(1, "direction")), "in\n");
    EXPECT_EQ(line_fault.clock.error, 0);
    EXPECT_EQ(line_fault.data.error, 0);
    // A second run, with the lines already exported, goes through it all again.
    write_text(tree.file(2, "direction"), "in\n");
    EXPECT_TRUE(gpio_setup(true));
    EXPECT_EQ(tree.exported(), "2\n1\n");
    EXPECT_EQ(read_text(tree.file(2, "direction")), "out\n");
}

TEST(Setup, AnExportThatRefusesTheWriteIsNoFailure) {
    // The lines are exported already: the kernel refuses both writes.
    gpio_tree tree(false);
    ASSERT_EQ(symlink("/dev/full", (tree.dir.path + "/sys/class/gpio/export").c_str()), 0);
    tree.line(2);
    tree.line(1);
    EXPECT_TRUE(gpio_setup(true));
    EXPECT_EQ(read_text(tree.file(2, "direction")), "out\n");
    EXPECT_EQ(line_fault.clock.error, 0);
    EXPECT_EQ(line_fault.data.error, 0);
}

TEST(Setup, StopsWithoutTheExportFileWhenItIsRequired) {
    gpio_tree tree(false);
    tree.line(2);
    tree.line(1);
    EXPECT_FALSE(gpio_setup(true));
    EXPECT_EQ(read_text(tree.file(2, "direction")), "in\n");             // untouched
    EXPECT_FALSE(file_exists(tree.dir.path + "/sys/class/gpio/export")); // never created
    // Without the requirement, the missing export is skipped and the rest done.
    EXPECT_FALSE(gpio_setup(false));
    EXPECT_EQ(read_text(tree.file(2, "direction")), "out\n");
    EXPECT_FALSE(file_exists(tree.dir.path + "/sys/class/gpio/export"));
}

TEST(Setup, DirectionsThatCannotBeSetAreRecordedPerLine) {
    gpio_tree tree;
    tree.line(2);
    tree.line(1);
    tree.refusing(2, "direction");
    ASSERT_EQ(unlink(tree.file(1, "direction").c_str()), 0);
    EXPECT_TRUE(gpio_setup(true));
    EXPECT_EQ(line_fault.clock.error, ENOSPC);
    EXPECT_STREQ(line_fault.clock.action, "write");
    EXPECT_EQ(std::string(line_fault.clock.file),
              tree.dir.path + "/sys/class/gpio/gpio2/direction");
    EXPECT_EQ(line_fault.data.error, ENOENT);
    EXPECT_STREQ(line_fault.data.action, "open");
    EXPECT_FALSE(file_exists(tree.file(1, "direction")));
}

} // namespace
