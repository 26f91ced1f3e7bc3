#include "crc8.h"

#include <gtest/gtest.h>

namespace {

uint8_t crc_of(std::initializer_list<uint8_t> bytes) {
    return crc8(bytes.begin(), static_cast<uint16_t>(bytes.size()));
}

TEST(Crc8, CatalogueCheckValue) {
    // The 1-Wire CRC-8's catalogue check value over the ASCII digits 1 to 9.
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc8(digits, 9), 0xA1);
}

TEST(Crc8, NoBytesGiveZero) {
    const uint8_t byte = 0xAA;
    EXPECT_EQ(crc8(&byte, 0), 0);
}

TEST(Crc8, HeaderValues) {
    EXPECT_EQ(crc_of({0xAA}), 0xD1);
    EXPECT_EQ(crc_of({0xAA, 0x10}), 0x94);
    EXPECT_EQ(crc_of({0xAA, 0x03}), 0xEB);
    EXPECT_EQ(crc_of({0xAA, 0x02}), 0xB5);
}

TEST(Crc8, ExampleFrame) {
    EXPECT_EQ(crc_of({0xAA, 0x10, 0x94, 0x01, 0xD7, 0x00, 0x2D, 0x03, 0x03, 0x00, 0x06, 0x7B, 0x00,
                      0xC8, 0x01}),
              0xC4);
}

TEST(Crc8, AppendedCrcLeavesZero) {
    // A property of this CRC (no final inversion): a run followed by its own
    // CRC has a CRC of 0.
    const uint8_t run[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0xA1};
    EXPECT_EQ(crc8(run, 10), 0);
}

} // namespace
