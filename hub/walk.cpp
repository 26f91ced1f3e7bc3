#include "walk.h"

#include "pressure.h"
#include "records.h"

#include <cstdarg>

namespace {

// Appends one fragment. One that would not fit whole is left out rather than
// cut; no frame's report comes near the limit (see report_max).
__attribute__((format(printf, 2, 3))) void fragment(sensor_report &report, const char *format,
                                                    ...) {
    size_t room = report_max - report.len;
    va_list args;
    va_start(args, format);
    int len = vsnprintf(report.text + report.len, room, format, args);
    va_end(args);
    if (len > 0 && static_cast<size_t>(len) < room)
        report.len += static_cast<size_t>(len);
    report.text[report.len] = '\0';
}

void report_pressure(const uint8_t *rec, FILE *out, sensor_report &report) {
    compensation c;
    compensation_status status = compensate(decode_pressure(rec), c);
    if (status == compensation_status::no_temperature) {
        fprintf(out, "pressure record unusable: X1 + MD is 0\n");
        return;
    }
    double temp2 = c.t / 10.0;
    fprintf(out, "temp2=%.1f\n", temp2);
    if (status == compensation_status::no_pressure) {
        fprintf(out, "pressure record unusable: B4 is 0\n");
        return;
    }
    double ap = c.p / 100.0;
    double sea = sea_level_hpa(c.p);
    fprintf(out, "ap=%.2f\n", ap);
    fprintf(out, "p=%.2f\n", sea);
    fragment(report, "&p=%.2f&ap=%.2f&hom2=%.2f", sea, ap, temp2);
}

} // namespace

void walk_records(const uint8_t frame[hub_frame_max], FILE *out, sensor_report &report) {
    report.len = 0;
    report.text[0] = '\0';
    const int n = frame[1] <= hub_frame_max ? frame[1] : hub_frame_max;
    int at = 3;
    while (at < n - 1) {
        const uint8_t *rec = frame + at;
        record_shape shape = shape_of(rec[0]);
        // An unknown type ends the walk; so does a record that would read the
        // frame CRC (or stale bytes behind it) as data.
        if (shape.size == 0 || at + shape.last_read > n - 2)
            return;
        switch (rec[0]) {
        case 1: {
            humidity_reading h = decode_humidity(rec);
            if (h.reported) {
                fprintf(out, "temp=%.1f\nrh=%d\n", static_cast<double>(h.temp), h.rh);
                fragment(report, "&hom=%.1f&rh=%d", static_cast<double>(h.temp), h.rh);
            }
            break;
        }
        case 2: {
            onewire_reading w = decode_onewire(rec);
            fprintf(out, "1wire #%d temp=%.1f\n", w.sensor, static_cast<double>(w.temp));
            fragment(report, "&hom=%.1f", static_cast<double>(w.temp));
            break;
        }
        case 3: {
            rain_reading r = decode_rain(rec);
            fprintf(out, "rain=%d imp, %.3fmm\n", r.impulses, r.mm);
            fragment(report, "&csap=%.3f", r.mm);
            break;
        }
        case 5:
            report_pressure(rec, out, report);
            break;
        case 6: {
            light_reading l = decode_light(rec);
            fprintf(out, "Ch1: %d Ch2: %d\n", l.ch1, l.ch2);
            fragment(report, "&uv=%.3f", l.uv);
            break;
        }
        }
        at += shape.size;
    }
}
