#include "records.h"

#include <gtest/gtest.h>

namespace {

TEST(Records, HumidityTemperatureIsSignedTenths) {
    const uint8_t warm[] = {1, 0xD7, 0x00, 0x2D};
    humidity_reading h = decode_humidity(warm);
    EXPECT_TRUE(h.reported);
    EXPECT_FLOAT_EQ(h.temp, 21.5f);
    EXPECT_EQ(h.rh, 45);
    const uint8_t cold[] = {1, 0x9C, 0xFF, 0xFF};
    h = decode_humidity(cold);
    EXPECT_FLOAT_EQ(h.temp, -10.0f);
    EXPECT_EQ(h.rh, 255);
}

TEST(Records, HumidityHighByteFeIsNotReported) {
    const uint8_t rec[] = {1, 0x00, 0xFE, 0x20};
    EXPECT_FALSE(decode_humidity(rec).reported);
    const uint8_t near[] = {1, 0x00, 0xFD, 0x20};
    EXPECT_TRUE(decode_humidity(near).reported);
}

TEST(Records, OneWireTemperatureIsUnsignedTenths) {
    const uint8_t rec[] = {2, 2, 0xE7, 0x00, 0x99};
    onewire_reading w = decode_onewire(rec);
    EXPECT_EQ(w.sensor, 2);
    EXPECT_FLOAT_EQ(w.temp, 23.1f);
    const uint8_t high[] = {2, 255, 0x9C, 0xFF, 0};
    w = decode_onewire(high);
    EXPECT_EQ(w.sensor, 255);
    EXPECT_FLOAT_EQ(w.temp, 6543.6f); // not -10.0
}

TEST(Records, RainImpulsesAre0518MmEach) {
    const uint8_t rec[] = {3, 3, 0x77};
    EXPECT_EQ(decode_rain(rec).impulses, 3);
    EXPECT_DOUBLE_EQ(decode_rain(rec).mm, 3 * 0.518);
    const uint8_t full[] = {3, 255, 0};
    EXPECT_DOUBLE_EQ(decode_rain(full).mm, 255 * 0.518);
}

TEST(Records, LightChannelsAreUnsignedLittleEndian) {
    const uint8_t rec[] = {6, 0x7B, 0x00, 0xC8, 0x01};
    light_reading l = decode_light(rec);
    EXPECT_EQ(l.ch1, 123);
    EXPECT_EQ(l.ch2, 456);
    EXPECT_DOUBLE_EQ(l.uv, 0.123);
    const uint8_t top[] = {6, 0xFF, 0xFF, 0xFF, 0xFF};
    l = decode_light(top);
    EXPECT_EQ(l.ch1, 65535);
    EXPECT_EQ(l.ch2, 65535);
}

} // namespace
