#include "pressure.h"

#include <array>
#include <gtest/gtest.h>

namespace {

using record = std::array<uint8_t, 28>;

// The worked example: a sensor at 21.4 degrees and 990.09 hPa.
constexpr record example = {0x05, 0x1E, 0xE7, 0xFB, 0x97, 0xC8, 0x0F, 0x81, 0x5B, 0x62,
                            0x6C, 0x45, 0xE4, 0x19, 0x73, 0x00, 0x29, 0x80, 0x00, 0xD1,
                            0xF6, 0x09, 0xE0, 0x65, 0x5E, 0xA0, 0x4D, 0x95};

compensation compensate_ok(const record &rec) {
    compensation c;
    EXPECT_EQ(compensate(decode_pressure(rec.data()), c), compensation_status::ok);
    return c;
}

TEST(Pressure, DecodesBigEndianWords) {
    pressure_record r = decode_pressure(example.data());
    EXPECT_EQ(r.ac1, 7911);
    EXPECT_EQ(r.ac2, -1129);
    EXPECT_EQ(r.ac3, -14321);
    EXPECT_EQ(r.ac4, 33115);
    EXPECT_EQ(r.ac5, 25196);
    EXPECT_EQ(r.ac6, 17892);
    EXPECT_EQ(r.b1, 6515);
    EXPECT_EQ(r.b2, 41);
    EXPECT_EQ(r.mc, -11786);
    EXPECT_EQ(r.md, 2528);
    EXPECT_EQ(r.ut, 25950);
    EXPECT_EQ(r.up, 328300); // raw 10505621 >> 5
}

TEST(Pressure, WorkedExampleStepByStep) {
    compensation c = compensate_ok(example);
    EXPECT_EQ(c.x1, 6195);
    EXPECT_EQ(c.x2, -2767);
    EXPECT_EQ(c.b5, 3428);
    EXPECT_EQ(c.t, 214);
    EXPECT_EQ(c.b6, -572);
    EXPECT_EQ(c.x3, 252);
    EXPECT_EQ(c.b4, 33369u);
    EXPECT_EQ(c.b3, 63920);
    EXPECT_EQ(c.b7, 1652375000);
    EXPECT_EQ(c.p_raw, 99036);
    EXPECT_EQ(c.p, 99009);
    EXPECT_NEAR(sea_level_hpa(c.p), 1007.28, 0.005);
}

TEST(Pressure, WrappedB7TakesTheUnsignedBranch) {
    // UP 524287: (UP - B3) * 6250 is 2877293750, negative in 32 bits.
    record rec = example;
    rec[25] = rec[26] = rec[27] = 0xFF;
    compensation c = compensate_ok(rec);
    EXPECT_EQ(static_cast<uint32_t>(c.b7), 2877293750u);
    EXPECT_LT(c.b7, 0);
    EXPECT_EQ(c.p_raw, 172452);
    EXPECT_EQ(c.p, 172791);
}

TEST(Pressure, SquareTimesB2IsShiftedInOneStep) {
    // B2 103: X1 is 4, where shifting the square by 12 first would give 3.
    record rec = example;
    rec[15] = 0x00;
    rec[16] = 0x67;
    compensation c = compensate_ok(rec);
    EXPECT_EQ(c.x1p, 4);
    EXPECT_EQ(c.b3, 63926);
    EXPECT_EQ(c.p_raw, 99034);
    EXPECT_EQ(c.p, 99007);
}

TEST(Pressure, MbIsNotRead) {
    record rec = example;
    rec[17] = 0x12;
    rec[18] = 0x34;
    EXPECT_EQ(compensate_ok(rec).p, 99009);
}

TEST(Pressure, LowFiveBitsOfTheRawPressureAreDropped) {
    record rec = example;
    rec[27] = static_cast<uint8_t>(rec[27] | 0x1F);
    EXPECT_EQ(compensate_ok(rec).p, 99009);
    rec[27] = static_cast<uint8_t>(rec[27] & 0xE0);
    EXPECT_EQ(compensate_ok(rec).p, 99009);
}

TEST(Pressure, AllZeroRecordHasNoTemperature) {
    record rec{};
    rec[0] = 5;
    compensation c;
    EXPECT_EQ(compensate(decode_pressure(rec.data()), c), compensation_status::no_temperature);
}

TEST(Pressure, ZeroAc4HasATemperatureButNoPressure) {
    record rec = example;
    rec[7] = rec[8] = 0;
    compensation c;
    EXPECT_EQ(compensate(decode_pressure(rec.data()), c), compensation_status::no_pressure);
    EXPECT_EQ(c.t, 214);
}

TEST(Pressure, ExtremeWordsStayDefined) {
    // Every product wraps instead of overflowing: the sanitizer build stops
    // here on any signed overflow or division fault.
    for (int fill : {0x7F, 0x80, 0xFF, 0x01}) {
        record rec;
        rec.fill(static_cast<uint8_t>(fill));
        rec[0] = 5;
        compensation c;
        (void)compensate(decode_pressure(rec.data()), c);
    }
}

} // namespace
