// The character device backend without a kernel chip: what it asks for, how it
// names what it cannot have, and what it does when the chip is missing or
// refuses. The kernel cases drive it against a real chip.
#include "chardev.h"
#include "scratch.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const line_pair wind_lines{2, 1, "gpiochip0", "gustlink"};

TEST(Chardev, TheChipSettingIsANameAPathOrALabel) {
    EXPECT_EQ(chip_kind("gpiochip0"), chip_by::name);
    EXPECT_EQ(chip_kind("gpiochip12"), chip_by::name);
    EXPECT_EQ(chip_kind("/dev/gpiochip0"), chip_by::path);
    for (const char *label : {"gpiochip", "gpiochipX", "gpiochip0a", "18040000.gpio", "ath79"})
        EXPECT_EQ(chip_kind(label), chip_by::label) << label;
}

TEST(Chardev, RequestsTheClockAsALowOutputAndTheDataLineAsAnInput) {
    gpio_v2_line_request req = line_request({3, 7, "gpiochip0", "hubpoll"});
    EXPECT_EQ(req.num_lines, 2u);
    EXPECT_EQ(req.offsets[0], 3u);
    EXPECT_EQ(req.offsets[1], 7u);
    EXPECT_STREQ(req.consumer, "hubpoll");
    EXPECT_EQ(req.config.flags, static_cast<__u64>(GPIO_V2_LINE_FLAG_INPUT));
    ASSERT_EQ(req.config.num_attrs, 2u);
    EXPECT_EQ(req.config.attrs[0].attr.id, static_cast<__u32>(GPIO_V2_LINE_ATTR_ID_FLAGS));
    EXPECT_EQ(req.config.attrs[0].attr.flags, static_cast<__u64>(GPIO_V2_LINE_FLAG_OUTPUT));
    EXPECT_EQ(req.config.attrs[0].mask, clock_bit);
    EXPECT_EQ(req.config.attrs[1].attr.id, static_cast<__u32>(GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES));
    EXPECT_EQ(req.config.attrs[1].attr.values, 0u);
    EXPECT_EQ(req.config.attrs[1].mask, clock_bit);
    EXPECT_EQ(clock_bit, 1u << 0); // the bit of offsets[0]
    EXPECT_EQ(data_bit, 1u << 1);  // the bit of offsets[1]
    // A consumer longer than the kernel keeps is cut, never overrun.
    req = line_request({3, 7, "gpiochip0", "a-consumer-name-far-longer-than-thirty-two"});
    EXPECT_EQ(strlen(req.consumer), sizeof req.consumer - 1);
}

TEST(Chardev, NamesALineWithWhyItCannotBeHad) {
    char out[128];
    describe_line(out, sizeof out, 2, "/dev/gpiochip0", "", -1);
    EXPECT_STREQ(out, "line 2 of /dev/gpiochip0");
    describe_line(out, sizeof out, 2, "/dev/gpiochip0", "sysfs", -1);
    EXPECT_STREQ(out, "line 2 of /dev/gpiochip0, held by \"sysfs\"");
    describe_line(out, sizeof out, 7, "/dev/gpiochip1", "", 4);
    EXPECT_STREQ(out, "line 7 of /dev/gpiochip1, which has 4 lines");
    describe_line(out, sizeof out, 1, "/dev/gpiochip1", "", 1);
    EXPECT_STREQ(out, "line 1 of /dev/gpiochip1, which has 1 line");
    char small[12];
    describe_line(small, sizeof small, 2, "/dev/gpiochip0", "sysfs", -1);
    EXPECT_STREQ(small, "line 2 of /");
}

struct chip_dir {
    scratch_dir dir;
    int before = open_descriptors();
    explicit chip_dir(const line_pair &lines) {
        dir.file("dev/.keep");
        gpio_bind(lines, dir.path.c_str());
        line_fault = {};
        value = 1;
    }
    ~chip_dir() {
        gpio_bind(wind_lines, ""); // lets go of anything held
        EXPECT_EQ(open_descriptors(), before);
    }
};

TEST(Chardev, AMissingChipFailsTheSetUpAndIsRecordedByEachPulse) {
    chip_dir c(wind_lines);
    std::string path = c.dir.path + "/dev/gpiochip0";
    EXPECT_STREQ(gpio_setup_file(), path.c_str());
    EXPECT_FALSE(gpio_setup(true));
    // The set-up records nothing: the pulse that asks again records it, so
    // that a program telling the failures of both says it once.
    EXPECT_EQ(line_fault.clock.error, 0);
    EXPECT_EQ(line_fault.data.error, 0);
    set(0);
    get();
    EXPECT_EQ(value, 1);
    EXPECT_EQ(line_fault.clock.error, ENOENT);
    EXPECT_STREQ(line_fault.clock.action, "open");
    EXPECT_STREQ(line_fault.clock.file, path.c_str());
    EXPECT_EQ(line_fault.data.error, 0); // one chip, told once
}

TEST(Chardev, ALabelNoChipCarriesIsAMissingChip) {
    chip_dir c({2, 1, "18040000.gpio", "gustlink"});
    EXPECT_STREQ(gpio_setup_file(), "the GPIO chip labelled \"18040000.gpio\"");
    EXPECT_FALSE(gpio_setup(false));
    set(0);
    EXPECT_EQ(line_fault.clock.error, ENOENT);
    EXPECT_STREQ(line_fault.clock.file, gpio_setup_file());
}

TEST(Chardev, ARefusedRequestIsRecordedOnBothLinesByThePulsesAlone) {
    // A file that is no GPIO chip refuses every request: with ENOTTY from a
    // kernel, ENOSYS from an emulator that does not know the request.
    chip_dir c(wind_lines);
    std::string chip = c.dir.path + "/dev/gpiochip0";
    write_text(chip, "");
    int file = open(chip.c_str(), O_RDONLY | O_CLOEXEC);
    gpio_v2_line_request probe = line_request(wind_lines);
    ASSERT_NE(ioctl(file, GPIO_V2_GET_LINE_IOCTL, &probe), 0);
    int refused = errno;
    close(file);
    EXPECT_TRUE(gpio_setup(true));
    EXPECT_EQ(line_fault.clock.error, 0);
    EXPECT_EQ(line_fault.data.error, 0);
    // Each operation asks again, and is refused again.
    for (int pulse = 0; pulse < 2; pulse++) {
        line_fault = {};
        get();
        EXPECT_EQ(value, 1);
        EXPECT_EQ(line_fault.clock.error, refused);
        EXPECT_STREQ(line_fault.clock.action, "request");
        EXPECT_EQ(std::string(line_fault.clock.file), "line 2 of " + c.dir.path + "/dev/gpiochip0");
        EXPECT_EQ(line_fault.data.error, refused);
        EXPECT_EQ(std::string(line_fault.data.file), "line 1 of " + c.dir.path + "/dev/gpiochip0");
    }
}

TEST(Chardev, ASettingTooLongNamesNoChip) {
    std::string label(40, 'x');
    chip_dir c({2, 1, label.c_str(), "gustlink"});
    EXPECT_FALSE(gpio_setup(true));
    set(1);
    EXPECT_EQ(line_fault.clock.error, ENAMETOOLONG);
}

} // namespace
