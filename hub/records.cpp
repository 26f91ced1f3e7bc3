#include "records.h"

#include "byte_order.h"

record_shape shape_of(uint8_t type) {
    switch (type) {
    case 1:
        return {4, 3};
    case 2:
        return {5, 3};
    case 3:
        return {3, 1};
    case 5:
        return {28, 27};
    case 6:
        return {5, 4};
    default:
        return {0, 0};
    }
}

humidity_reading decode_humidity(const uint8_t *rec) {
    auto raw = static_cast<int16_t>(le16(rec + 1));
    return {rec[2] != 0xFE, static_cast<float>(raw) / 10.0f, rec[3]};
}

onewire_reading decode_onewire(const uint8_t *rec) {
    return {rec[1], static_cast<float>(le16(rec + 2)) / 10.0f};
}

rain_reading decode_rain(const uint8_t *rec) {
    return {rec[1], rec[1] * 0.518};
}

light_reading decode_light(const uint8_t *rec) {
    int ch1 = le16(rec + 1);
    return {ch1, le16(rec + 3), ch1 / 1000.0};
}
