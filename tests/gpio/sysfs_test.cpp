#include "gpio.h"
#include "scratch.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <initializer_list>
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
    // A GPIO chip as the kernel shows it: its device on the GPIO bus by
    // device number, and its entry in the legacy interface by base, both
    // under the parent device.
    void chip(int device, int base, int ngpio, const std::string &label,
              const std::string &parent = "platform/gpio") {
        std::string dev = "devices/" + parent + "/gpiochip" + std::to_string(device);
        std::string entry = "devices/" + parent + "/gpio/gpiochip" + std::to_string(base);
        dir.file("sys/" + dev + "/.keep");
        write_text(dir.file("sys/" + entry + "/base"), std::to_string(base) + "\n");
        write_text(dir.file("sys/" + entry + "/label"), label + "\n");
        write_text(dir.file("sys/" + entry + "/ngpio"), std::to_string(ngpio) + "\n");
        link("../../../" + dev, "sys/bus/gpio/devices/gpiochip" + std::to_string(device));
        link("../../" + entry, "sys/class/gpio/gpiochip" + std::to_string(base));
    }
    // The same chip in the chip-local interface, with lines `offsets`
    // exported; its export file is `exp` when `with_export` was not set.
    void chip_local(int device, int ngpio, const std::string &label,
                    std::initializer_list<int> offsets) {
        std::string entry = "devices/platform/gpio/gpio/chip" + std::to_string(device);
        write_text(dir.file("sys/" + entry + "/label"), label + "\n");
        write_text(dir.file("sys/" + entry + "/ngpio"), std::to_string(ngpio) + "\n");
        for (int offset : offsets) {
            std::string line = "sys/" + entry + "/gpio" + std::to_string(offset);
            write_text(dir.file(line + "/direction"), "in\n");
            write_text(dir.file(line + "/value"), "0\n");
        }
        link("../../" + entry, "sys/class/gpio/chip" + std::to_string(device));
        if (exp < 0) {
            std::string path = dir.path + "/sys/" + entry + "/export";
            EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
            exp = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        }
    }
    void link(const std::string &target, const std::string &at) {
        dir.file(at); // its folder
        EXPECT_EQ(symlink(target.c_str(), (dir.path + "/" + at).c_str()), 0) << at;
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

TEST(Chips, TheLegacyInterfaceTakesTheChipsBaseFoundByItsDeviceNumber) {
    struct {
        const char *chip;
        const char *exported;
    } cases[] = {
        {"gpiochip0", "514\n513\n"},      // the chip alone on its parent, at 512
        {"gpiochip2", "578\n577\n"},      // a bank among three on one parent
        {"bank1", "546\n545\n"},          // by label
        {"/dev/gpiochip1", "546\n545\n"}, // by path
        {"", "2\n1\n"},                   // GPIO numbers, as given
    };
    for (const auto &c : cases) {
        gpio_tree tree;
        tree.chip(0, 512, 32, "soc", "platform/soc");
        tree.chip(1, 544, 32, "bank1", "platform/banks"); // numbered in the order of their bases
        tree.chip(3, 608, 32, "bank0", "platform/banks"); // ... whatever the label says
        tree.chip(2, 576, 32, "bank2", "platform/banks");
        gpio_bind({2, 1, c.chip}, tree.dir.path.c_str());
        EXPECT_TRUE(gpio_setup(true)) << c.chip;
        EXPECT_EQ(tree.exported(), c.exported) << c.chip;
    }
}

TEST(Chips, TheChipLocalInterfaceComesFirst) {
    gpio_tree tree; // the legacy export file too, as with 6.17's legacy interface
    int legacy = tree.exp;
    tree.exp = -1;
    tree.chip(0, 512, 8, "soc");
    tree.chip_local(0, 8, "soc", {2, 1});
    for (const char *chip : {"gpiochip0", "soc"}) {
        gpio_bind({2, 1, chip}, tree.dir.path.c_str());
        EXPECT_TRUE(gpio_setup(true));
        EXPECT_EQ(tree.exported(), "2\n1\n");
        EXPECT_EQ(gpio_setup_file(), tree.dir.path + "/sys/class/gpio/chip0/export");
        set(1);
        EXPECT_EQ(read_text(tree.dir.path + "/sys/class/gpio/chip0/gpio2/value"), "1\n");
        EXPECT_EQ(read_text(tree.dir.path + "/sys/class/gpio/chip0/gpio2/direction"), "out\n");
    }
    char buf[16];
    EXPECT_LT(read(legacy, buf, sizeof buf), 0); // never written
    close(legacy);
}

TEST(Chips, AMissingChipFailsTheSetUpAndEveryPulse) {
    struct {
        bool legacy;
        const char *chip, *missing;
    } cases[] = {
        {true, "gpiochip7", "/sys/bus/gpio/devices/gpiochip7"},
        {false, "gpiochip7", "/sys/class/gpio/chip7/export"}, // no legacy interface
        {true, "ath79", "the GPIO chip labelled \"ath79\""},
    };
    for (const auto &c : cases) {
        gpio_tree tree(c.legacy);
        tree.chip(0, 512, 8, "soc");
        tree.chip_local(0, 8, "soc", {});
        gpio_bind({2, 1, c.chip}, tree.dir.path.c_str());
        EXPECT_FALSE(gpio_setup(false)) << c.chip;
        std::string missing = c.missing[0] == '/' ? tree.dir.path + c.missing : c.missing;
        EXPECT_EQ(gpio_setup_file(), missing);
        get();
        EXPECT_EQ(line_fault.clock.error, ENOENT);
        EXPECT_STREQ(line_fault.clock.action, "open");
        EXPECT_EQ(line_fault.clock.file, missing);
        EXPECT_EQ(line_fault.data.error, 0); // one failure, not two
    }
}

TEST(Chips, LinesTheChipCannotGiveAreRecordedByEachPulseWithWhy) {
    gpio_tree tree;
    tree.chip(0, 512, 2, "soc"); // offsets 0 and 1: the clock, 2, lies beyond
    tree.line(513);
    EXPECT_TRUE(gpio_setup(true));
    EXPECT_EQ(tree.exported(), "513\n");
    EXPECT_EQ(line_fault.clock.error, 0); // the set-up records nothing
    set(1);
    EXPECT_EQ(line_fault.clock.error, EINVAL);
    EXPECT_STREQ(line_fault.clock.action, "export");
    EXPECT_STREQ(line_fault.clock.file, "line 2 of gpiochip0, which has 2 lines");

    // A line a driver holds refuses the export and is not there after.
    gpio_tree held(false);
    ASSERT_EQ(symlink("/dev/full", (held.dir.path + "/sys/class/gpio/export").c_str()), 0);
    held.chip(0, 512, 8, "soc");
    held.line(513);
    EXPECT_TRUE(gpio_setup(true));
    set(0);
    EXPECT_EQ(line_fault.clock.error, ENOSPC);
    EXPECT_STREQ(line_fault.clock.action, "export");
    EXPECT_STREQ(line_fault.clock.file, "line 2 of gpiochip0");
    get();
    EXPECT_EQ(line_fault.data.error, 0);
}

} // namespace
