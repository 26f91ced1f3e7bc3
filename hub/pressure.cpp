#include "pressure.h"

#include "byte_order.h"

namespace {

// Sums, differences and products keep the low 32 bits of the exact result.
int32_t add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
int32_t mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

int16_t s16(const uint8_t *p) {
    return static_cast<int16_t>(be16(p));
}

} // namespace

pressure_record decode_pressure(const uint8_t *rec) {
    uint32_t raw =
        static_cast<uint32_t>(rec[25]) << 16 | static_cast<uint32_t>(rec[26]) << 8 | rec[27];
    return {s16(rec + 1),  s16(rec + 3),   s16(rec + 5),   be16(rec + 7),
            be16(rec + 9), be16(rec + 11), s16(rec + 13),  s16(rec + 15),
            s16(rec + 19), s16(rec + 21),  be16(rec + 23), static_cast<int32_t>(raw >> 5)};
}

compensation_status compensate(const pressure_record &r, compensation &c) {
    c = {};
    c.x1 = mul(sub(r.ut, r.ac6), r.ac5) >> 15;
    int32_t divisor = add(c.x1, r.md);
    if (divisor == 0)
        return compensation_status::no_temperature;
    // |MC * 2048| stays below 2^27, so the quotient cannot overflow.
    c.x2 = mul(r.mc, 2048) / divisor;
    c.b5 = add(c.x1, c.x2);
    c.t = static_cast<int16_t>(add(c.b5, 8) >> 4);

    c.b6 = sub(c.b5, 4000);
    int32_t square = mul(c.b6, c.b6);
    int32_t x1 = mul(r.ac3, c.b6) >> 13;
    int32_t x2 = mul(r.b1, square >> 12) >> 16;
    c.x3 = add(add(x1, x2), 2) >> 2;
    c.b4 = static_cast<uint32_t>(mul(add(c.x3, 32768), r.ac4)) >> 15;
    if (c.b4 == 0)
        return compensation_status::no_pressure;
    // The whole square times B2, shifted in one step.
    c.x1p = mul(r.b2, square) >> 23;
    c.x2p = mul(r.ac2, c.b6) >> 11;
    c.b3 = mul(add(add(mul(r.ac1, 4), c.x1p), c.x2p), 2);
    c.b7 = mul(sub(r.up, c.b3), 6250);
    uint32_t quotient = c.b7 >= 0 ? static_cast<uint32_t>(mul(c.b7, 2)) / c.b4
                                  : static_cast<uint32_t>(c.b7) / c.b4 * 2u;
    c.p_raw = static_cast<int32_t>(quotient);
    int32_t p = c.p_raw;
    x1 = mul(p >> 8, p >> 8);
    x1 = mul(x1, 3038) >> 16;
    x2 = mul(-7357, p) >> 16;
    c.p = add(p, add(add(x1, x2), 3791) >> 4);
    return compensation_status::ok;
}

double sea_level_hpa(int32_t p) {
    return p / 0.9829304921037978 / 100.0;
}
