#include "faults.h"

#include "clock_gate.h"
#include "live.h"
#include "record.h"
#include "tmp.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr const char *line_names[2] = {"clock", "data"};
constexpr int clock_line = 0, data_line = 1;

std::string at(const lockstep &ls) {
    std::string tag = "@";
    return tag.append(std::to_string(ls.b.pulses)).append(" ");
}

fault_schedule::span span_from_now(const lockstep &ls, const child_process &c) {
    return {now_us(), group_cpu_seconds(c.pid), ls.held_us};
}

const char *judge(const fault_schedule::span &s, const lockstep &ls, const child_process &c) {
    cpu_seconds now = group_cpu_seconds(c.pid);
    double wall = static_cast<double>(now_us() - s.since) / 1e6;
    double held = static_cast<double>(ls.held_us - s.held_since) / 1e6;
    return cpu_verdict(now.run - s.cpu.run, wall, held + now.waited - s.cpu.waited);
}

bool line_missing(fault_schedule &fs, lockstep &ls, const child_process &c, int k, uint64_t until,
                  bool refusing, std::string &why) {
    fault_schedule::missing_line &m = fs.line[k];
    if (m.active)
        return true;
    m = fault_schedule::missing_line{true, refusing, span_from_now(ls, c), until, 0};
    fs.record += at(ls) + line_names[k] + (refusing ? " refuses writes\n" : " missing\n");
    why = std::string("taking the ") + line_names[k] + " line away";
    if (refusing ? !set_clock_refusing(*ls.sb, true)
                 : !set_line_present(*ls.sb, k == data_line, false))
        return false;
    // Clock pulses while the data line is missing reach no one: the board
    // holds its stream (the read being served is answered as it stands).
    if (k == clock_line)
        return true;
    ls.board_waits = true;
    ls.waited_pulses = 0;
    ls.waited_clock = ls.b.clock;
    // Only a line that comes back needs the gate; without it a program that
    // retries at once runs freely, as it would on the router.
    if (until == 0)
        return true;
    why = "gating the clock";
    if (!gate_start(ls.gate, ls.sb->clock_dir))
        return false;
    drain_clock(ls); // the held FIFO is off the path: whatever is left in it
    int held = ls.clock_fd;
    ls.clock_fd = -1;
    return close(held) == 0;
}

// A line back after its count: the program was held by the station for
// part of that span, so its CPU time tells nothing and is not judged.
bool line_back(fault_schedule &fs, lockstep &ls, int k, std::string &why) {
    fault_schedule::missing_line &m = fs.line[k];
    m.active = false;
    fs.record += at(ls) + line_names[k] + " back\n";
    why = std::string("bringing the ") + line_names[k] + " line back";
    if (m.refusing ? !set_clock_refusing(*ls.sb, false)
                   : !set_line_present(*ls.sb, k == data_line, true))
        return false;
    if (k == data_line) {
        ls.board_waits = false;
        ls.b.clock = 1; // the next pulse starts from a resting clock
    }
    return true;
}

// The program's progress at its last read met (or now, between reads).
fault_schedule::stamp stamp_at(const lockstep &ls, const child_process &c, int64_t at) {
    return {at, ls.held_us, run_queue_seconds(c.pid)};
}

void period_step(fault_schedule::period_watch &p, const fault_schedule::stamp &now) {
    double wall = static_cast<double>(now.at - p.last.at) / 1e6;
    double held = static_cast<double>(now.held_us - p.last.held_us) / 1e6;
    double waited = now.waited - p.last.waited;
    p.longest = std::max(p.longest, wall - held - (waited > 0 ? waited : 0));
}

// Records the verdict on the span, ended at `end`.
void end_period(fault_schedule &fs, const fault_schedule::stamp &end) {
    fault_schedule::period_watch &p = fs.period;
    p.on = false;
    period_step(p, end);
    double mean = p.updates < 2 ? -1
                                : static_cast<double>(p.last.at - p.first) / 1e6 /
                                      static_cast<double>(p.updates - 1);
    fs.record +=
        p.tag + period_verdict(p.longest, mean, static_cast<double>(end.at - p.since) / 1e6) + "\n";
}

} // namespace

void period_mark(fault_schedule &fs, const lockstep &ls, const child_process &c) {
    fault_schedule::period_watch &p = fs.period;
    if (!p.on)
        return;
    fault_schedule::stamp now = stamp_at(ls, c, ls.met_at);
    period_step(p, now);
    p.last = now;
    if (p.updates++ == 0)
        p.first = now.at;
}

bool faults_at_read(fault_schedule &fs, lockstep &ls, child_process &c, std::string &why) {
    // Full stays full: the room a program frees (a file it replaced) is taken
    // back at its next read.
    if (fs.filler >= 0 && !fill_tmp(fs.filler, why))
        return false;
    fault_schedule::missing_line &clock = fs.line[clock_line];
    if (clock.active && clock.until != 0 && ++clock.seen >= clock.until &&
        !line_back(fs, ls, clock_line, why))
        return false;
    for (; fs.next < fs.list.size() && fs.list[fs.next].pulses <= ls.b.pulses; fs.next++) {
        const fault &f = fs.list[fs.next];
        bool ok = true;
        switch (f.action) {
        case fault::tmp_full:
            fs.record += at(ls) + "tmp full\n";
            ok = fill_tmp(fs.filler, why);
            break;
        case fault::tmp_free:
            fs.record += at(ls) + "tmp free\n";
            ok = free_tmp(fs.filler, why);
            break;
        case fault::missing_clock:
        case fault::missing_data:
        case fault::refused_clock:
            ok = line_missing(fs, ls, c, f.action == fault::missing_data ? data_line : clock_line,
                              f.count, f.action == fault::refused_clock, why);
            break;
        case fault::stop:
            fs.stop_at = now_us() + static_cast<int64_t>(f.seconds * 1e6);
            break;
        case fault::plant_now:
        case fault::remove_now:
            fs.record += at(ls) + (f.action == fault::plant_now ? "plant " : "remove ") +
                         f.planted.path + "\n";
            ok = replant(f.planted, f.action == fault::remove_now, why);
            break;
        case fault::name_server:
            fs.record += at(ls) + "hosts server\n";
            ok = name_server_late(ls.sb->server_name, why);
            break;
        case fault::dns_answers:
            fs.record += at(ls) + "dns answers\n";
            fs.dns_answers = true;
            break;
        case fault::watch_period: {
            char span[32];
            std::snprintf(span, sizeof span, "%g", f.seconds);
            fault_schedule::period_watch &p = fs.period;
            p = fault_schedule::period_watch{};
            p.on = true;
            p.last = stamp_at(ls, c, ls.met_at);
            p.since = p.last.at;
            p.until = p.since + static_cast<int64_t>(f.seconds * 1e6);
            p.tag = at(ls) + "period watched for " + span + " s: ";
            break;
        }
        case fault::watch_cpu: {
            char span[32];
            std::snprintf(span, sizeof span, "%g", f.seconds);
            fs.watching = true;
            fs.watched = span_from_now(ls, c);
            fs.watch_until = fs.watched.since + static_cast<int64_t>(f.seconds * 1e6);
            fs.watch_tag = at(ls) + "cpu watched for " + span + " s: ";
            break;
        }
        }
        if (!ok)
            return false;
    }
    return true;
}

bool faults_at_clock(fault_schedule &fs, lockstep &ls, std::string &why) {
    drain_clock(ls);
    fault_schedule::missing_line &m = fs.line[data_line];
    if (m.active && m.until != 0 && ls.waited_pulses >= m.until && ls.waited_clock == 1 &&
        !line_back(fs, ls, data_line, why))
        return false;
    clock_gate &g = ls.gate;
    why = "the clock gate";
    if (g.watch >= 0 && !gate_opens(g))
        return false;
    // One write at a time: the next once the last one is taken whole. The
    // first after the data line's return ends the gating.
    while (g.passing < 0 && g.opens > 0 && g.waiting >= 0) {
        int held = -1;
        if (!gate_pass(g, !m.active, held))
            return false;
        if (held >= 0)
            ls.clock_fd = held;
    }
    return true;
}

// Records the verdict of the watch over the span so far.
void end_watch(fault_schedule &fs, const lockstep &ls, const child_process &c) {
    fs.watching = false;
    fs.record += fs.watch_tag + judge(fs.watched, ls, c) + "\n";
}

void faults_in_time(fault_schedule &fs, const lockstep &ls, child_process &c) {
    if (fs.watching && now_us() >= fs.watch_until)
        end_watch(fs, ls, c);
    if (fs.period.on && now_us() >= fs.period.until)
        end_period(fs, stamp_at(ls, c, now_us()));
    if (fs.stop_at == 0 || now_us() < fs.stop_at)
        return;
    fs.stop_at = 0;
    if (c.stop_sent)
        return;
    faults_at_end(fs, ls, c);
    fs.record += at(ls) + "stop\n";
    stop(c, now_us());
}

void faults_at_end(fault_schedule &fs, const lockstep &ls, const child_process &c) {
    for (int k = 0; k < 2; k++) {
        fault_schedule::missing_line &m = fs.line[k];
        if (!m.active)
            continue;
        m.active = false;
        std::string line = at(ls) + line_names[k] +
                           (m.refusing ? " refuses writes to the end" : " missing to the end");
        if (m.until == 0) // held at times by the clock gate otherwise, so not judged
            line.append(": ").append(judge(m.judged, ls, c));
        fs.record += line + "\n";
    }
    if (fs.watching)
        end_watch(fs, ls, c);
    // Ended with the program: the span ends at its last read, where the
    // station held it (the stream had run out) or it left.
    if (fs.period.on)
        end_period(fs, stamp_at(ls, c, std::max(ls.met_at, fs.period.last.at)));
}
