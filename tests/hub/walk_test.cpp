#include "walk.h"

#include "hub_fakes.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// The pressure record of the worked example, then its two variants.
const std::vector<uint8_t> pressure = {0x05, 0x1E, 0xE7, 0xFB, 0x97, 0xC8, 0x0F, 0x81, 0x5B, 0x62,
                                       0x6C, 0x45, 0xE4, 0x19, 0x73, 0x00, 0x29, 0x80, 0x00, 0xD1,
                                       0xF6, 0x09, 0xE0, 0x65, 0x5E, 0xA0, 0x4D, 0x95};

struct walk {
    std::string out;
    std::string report;
};

// Walks `sent`, in a frame buffer whose bytes beyond it hold `stale`.
walk walk_frame(const std::vector<uint8_t> &sent, uint8_t stale = 0) {
    uint8_t frame[hub_frame_max];
    std::fill(std::begin(frame), std::end(frame), stale);
    std::copy(sent.begin(), sent.end(), frame);
    capture out;
    sensor_report report;
    memset(report.text, 'x', sizeof report.text); // it starts empty all the same
    report.len = 77;
    walk_records(frame, out.file, report);
    EXPECT_EQ(strlen(report.text), report.len);
    return {out.text(), std::string(report.text, report.len)};
}

TEST(Report, ExampleFrame) {
    walk w = walk_frame(example_frame);
    EXPECT_EQ(w.out, "temp=21.5\nrh=45\nrain=3 imp, 1.554mm\nCh1: 123 Ch2: 456\n");
    EXPECT_EQ(w.report, "&hom=21.5&rh=45&csap=1.554&uv=0.123");
}

TEST(Report, NegativeHumidityTemperature) {
    walk w = walk_frame(hub_frame({0x01, 0x9C, 0xFF, 0x50}));
    EXPECT_EQ(w.out, "temp=-10.0\nrh=80\n");
    EXPECT_EQ(w.report, "&hom=-10.0&rh=80");
}

TEST(Report, UnreportedHumidityIsSkippedSilently) {
    walk w = walk_frame(hub_frame({0x01, 0x00, 0xFE, 0x50, 0x03, 0x00, 0x00}));
    EXPECT_EQ(w.out, "rain=0 imp, 0.000mm\n");
    EXPECT_EQ(w.report, "&csap=0.000");
}

TEST(Report, OneWireRecordsEachWriteAHomFragment) {
    walk w = walk_frame(hub_frame({0x02, 0x02, 0xE7, 0x00, 0x00, 0x02, 0x05, 0x9C, 0xFF, 0x00}));
    EXPECT_EQ(w.out, "1wire #2 temp=23.1\n1wire #5 temp=6543.6\n");
    EXPECT_EQ(w.report, "&hom=23.1&hom=6543.6");
}

TEST(Report, PressureRecord) {
    walk w = walk_frame(hub_frame(pressure));
    EXPECT_EQ(w.out, "temp2=21.4\nap=990.09\np=1007.28\n");
    EXPECT_EQ(w.report, "&p=1007.28&ap=990.09&hom2=21.40");
}

TEST(Report, PressureRecordWithWrappedB7) {
    std::vector<uint8_t> rec = pressure;
    rec[25] = rec[26] = rec[27] = 0xFF;
    walk w = walk_frame(hub_frame(rec));
    EXPECT_EQ(w.out, "temp2=21.4\nap=1727.91\np=1757.92\n");
    EXPECT_EQ(w.report, "&p=1757.92&ap=1727.91&hom2=21.40");
}

TEST(Report, PressureRecordWithB2Of103) {
    std::vector<uint8_t> rec = pressure;
    rec[15] = 0x00;
    rec[16] = 0x67;
    walk w = walk_frame(hub_frame(rec));
    EXPECT_EQ(w.out, "temp2=21.4\nap=990.07\np=1007.26\n");
    EXPECT_EQ(w.report, "&p=1007.26&ap=990.07&hom2=21.40");
}

TEST(Report, UnusablePressureRecordsAreSkippedWithOneLine) {
    std::vector<uint8_t> zeros(28, 0);
    zeros[0] = 5;
    std::vector<uint8_t> no_ac4 = pressure;
    no_ac4[7] = no_ac4[8] = 0;
    walk w = walk_frame(hub_frame(zeros));
    EXPECT_EQ(w.out, "pressure record unusable: X1 + MD is 0\n");
    EXPECT_EQ(w.report, "");
    // The walk moves on by 28 bytes: the rain record behind it is decoded.
    std::vector<uint8_t> then_rain = no_ac4;
    then_rain.insert(then_rain.end(), {0x03, 0x01, 0x00});
    w = walk_frame(hub_frame(then_rain));
    EXPECT_EQ(w.out, "temp2=21.4\npressure record unusable: B4 is 0\nrain=1 imp, 0.518mm\n");
    EXPECT_EQ(w.report, "&csap=0.518");
}

TEST(Report, UnknownTypeEndsTheWalk) {
    for (int type : {0, 4, 7, 0xAA}) {
        walk w = walk_frame(hub_frame({static_cast<uint8_t>(type), 0x03, 0x01, 0x00}));
        EXPECT_EQ(w.out, "") << type;
        EXPECT_EQ(w.report, "") << type;
    }
    // Fragments written before it stay; records behind it are not looked at.
    walk w = walk_frame(hub_frame({0x03, 0x02, 0x00, 0x04, 0x03, 0x01, 0x00}));
    EXPECT_EQ(w.out, "rain=2 imp, 1.036mm\n");
    EXPECT_EQ(w.report, "&csap=1.036");
}

TEST(Report, FrameWithoutRecords) {
    walk w = walk_frame({0xAA, 0x03, 0xEB});
    EXPECT_EQ(w.out, "");
    EXPECT_EQ(w.report, "");
}

TEST(Report, RecordReachingTheCrcEndsTheWalk) {
    // A rain record whose count would be the frame CRC.
    walk w = walk_frame(hub_frame({0x03, 0x01, 0x00, 0x03}));
    EXPECT_EQ(w.out, "rain=1 imp, 0.518mm\n");
    EXPECT_EQ(w.report, "&csap=0.518");
    // A light record one byte short, a humidity record two bytes short, a
    // pressure record one byte short.
    EXPECT_EQ(walk_frame(hub_frame({0x06, 0x7B, 0x00, 0xC8})).out, "");
    EXPECT_EQ(walk_frame(hub_frame({0x01, 0xD7})).out, "");
    std::vector<uint8_t> short_pressure(pressure.begin(), pressure.end() - 1);
    EXPECT_EQ(walk_frame(hub_frame(short_pressure)).out, "");
}

TEST(Report, UnreadTrailingBytesMayLieAtTheCrc) {
    // The rain record's last byte and the 1-Wire record's last byte are not
    // read, so those records still fit when that byte is the frame CRC.
    walk w = walk_frame(hub_frame({0x03, 0x04}));
    EXPECT_EQ(w.out, "rain=4 imp, 2.072mm\n");
    w = walk_frame(hub_frame({0x02, 0x01, 0xE7, 0x00}));
    EXPECT_EQ(w.out, "1wire #1 temp=23.1\n");
}

TEST(Report, EveryRecordSizeLeadsToTheNextRecord) {
    // Each type followed by a rain record: a size one byte off in either
    // direction would start the next record inside this one or skip the
    // rain record's type byte, and the rain reading would be lost. The record
    // bytes are 0x04, a type that ends the walk.
    const std::vector<uint8_t> rain = {0x03, 0x07, 0x00};
    struct sized {
        std::vector<uint8_t> record;
        const char *report;
    };
    const sized cases[] = {
        {{0x01, 0x04, 0x04, 0x04}, "&hom=102.8&rh=4&csap=3.626"},
        {{0x02, 0x04, 0x04, 0x04, 0x04}, "&hom=102.8&csap=3.626"},
        {{0x06, 0x04, 0x04, 0x04, 0x04}, "&uv=1.028&csap=3.626"},
    };
    for (const sized &c : cases) {
        std::vector<uint8_t> records = c.record;
        records.insert(records.end(), rain.begin(), rain.end());
        EXPECT_EQ(walk_frame(hub_frame(records)).report, c.report);
    }
    std::vector<uint8_t> then_rain = pressure;
    then_rain.insert(then_rain.end(), rain.begin(), rain.end());
    walk w = walk_frame(hub_frame(then_rain));
    EXPECT_EQ(w.report, "&p=1007.28&ap=990.09&hom2=21.40&csap=3.626");
    // The rain record itself: three of them end to end.
    w = walk_frame(hub_frame({0x03, 0x01, 0x04, 0x03, 0x02, 0x04, 0x03, 0x03, 0x04}));
    EXPECT_EQ(w.report, "&csap=0.518&csap=1.036&csap=1.554");
}

TEST(Report, StaleBytesBehindTheFrameAreNeverRead) {
    // A frame buffer whose bytes behind the frame hold a complete rain
    // record from an earlier frame: a walk that ran past the CRC would find it.
    std::vector<uint8_t> sent = hub_frame({0x03, 0x02, 0x00});
    for (int stale : {0x00, 0x03, 0xFF}) {
        walk w = walk_frame(sent, static_cast<uint8_t>(stale));
        EXPECT_EQ(w.report, "&csap=1.036") << stale;
    }
}

TEST(Report, LongestReportFitsWhole) {
    // Thirteen humidity records at their widest fill the largest frame.
    std::vector<uint8_t> records;
    for (int k = 0; k < 13; k++)
        records.insert(records.end(), {0x01, 0x00, 0x80, 0xFF});
    std::vector<uint8_t> sent = hub_frame(records);
    ASSERT_EQ(sent.size(), size_t{hub_frame_max});
    walk w = walk_frame(sent);
    std::string expected;
    for (int k = 0; k < 13; k++)
        expected += "&hom=-3276.8&rh=255";
    EXPECT_EQ(w.report, expected);
}

} // namespace
