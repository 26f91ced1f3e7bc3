// Scenarios of the emulated station: which board sits on the lines, how the
// router around the program looks, what goes wrong on it and when, and the bit
// stream the board shifts out.
//
// A scenario is a text, one directive a line, '#' starts a comment (except
// inside the quoted text of "plant file"):
//
//   board wind|hub           the board and so the line pair (2/1 or 3/7)
//   lines CLOCK DATA         another line pair for the board: offsets on its chip
//   chip base BASE|dynamic   the board's GPIO chip: the number of its line 0
//                            (default 0, as on kernels before 6.2 and ath79's
//                            before 6.11), or the first free from 512 up, as
//                            later kernels give a chip without a fixed base
//   chip label TEXT          its label (default station-board)
//   chip lines N             its line count (default 8, or as many as its
//                            lines need)
//   other chip N [LABEL]     another chip of N lines (label station-other) on
//                            the same parent device, as a SoC's banks, that
//                            the kernel added first: it is gpiochip0 and the
//                            board's chip gpiochip1; its base is the first
//                            free from 512 up
//   sysfs legacy|both|chip-local
//                            the kernel's sysfs GPIO interfaces: the global
//                            numbers alone (/sys/class/gpio/export,
//                            gpiochipBASE, gpioN; default, as every kernel
//                            before 6.17), with the chip-local one too
//                            (/sys/class/gpio/chipN/export and
//                            chipN/gpioOFFSET: 6.17 and later), or the
//                            chip-local one alone (without the kernel's
//                            legacy interface)
//   interface MAC|none       the station's network interface (default
//                            00:1a:2b:3c:4d:5e); none leaves only the loopback
//   layout chip|virtual      where an exported line's directory lives: under
//                            its chip's device, as on today's kernels
//                            (default), or /sys/devices/virtual/gpio/gpioN, as
//                            on old ones, which have no GPIO bus
//                            (/sys/bus/gpio) to tell a chip's device number
//                            either; /sys/class/gpio/gpioN links to it
//   hosts server|empty       the sandbox's hosts file names the server from
//                            the start (default), or not until "at N hosts
//                            server"
//   dns silent               the hosts file names no server (as "hosts
//                            empty") and the resolver asks a name server
//                            behind the station's interface, which takes
//                            every query and answers none (each look-up
//                            waits out the resolver's timeout, 1 s here)
//                            until "at N dns answers"
//   export present|busy|missing
//                            the export file: writable, already exported (every
//                            write fails), or absent
//   args WORD...             arguments appended to the program's command line
//   wrap WORD...             words put before it (e.g. "wrap timeout 5": the
//                            program runs under timeout, whose status counts)
//   end stop|low             when the stream has run out: the station stops the
//                            program at its next read (default), or the data
//                            line stays low for ever and the program's own end
//                            ends the run
//
// Planted in the sandbox's /tmp before the program starts (PATH lies in /tmp,
// a link's TARGET too, so that a program that follows it stays inside):
//
//   plant file PATH "TEXT"   a regular file; TEXT quoted as in the results
//                            (\n, \r, \t, \\, \", \xHH)
//   plant link PATH TARGET   a symbolic link (dangling when nothing is there)
//   plant fifo PATH          a FIFO that nobody reads
//   plant directory PATH     an empty directory
//
// Faults at a point of the run. PULSES names the first read of the data line
// that the board serves once it has counted that many clock pulses; the
// program is blocked in that read, so the point is exact at any speed. The
// fault takes effect before the read is answered:
//
//   at PULSES tmp full       /tmp has no room left, and each later read takes
//                            back the room the program freed (the station's
//                            filler has no name: it never shows in the results)
//   at PULSES tmp free       the room is given back
//   at PULSES missing clock|data [for N]
//                            that line's files are gone, as when the line is
//                            unexported. With "for", back at an exact point of
//                            the program's cycle: the clock line at the Nth
//                            read served while it is missing, before that read
//                            is answered; the data line once the program has
//                            made N clock pulses while it was missing and
//                            raised the clock again, before its next clock
//                            write (each clock write waits for the station
//                            meanwhile). The board holds its stream while the
//                            data line is missing (those pulses are not
//                            counted), and the first pulse after its return
//                            starts from a resting clock
//   at PULSES refuse clock [for N]
//                            the clock's value file opens but refuses every
//                            write (a line the kernel keeps as an input); with
//                            "for", takes writes again as "missing clock for N"
//                            comes back
//   at PULSES stop after SECONDS
//                            the station stops the program SECONDS later
//   at PULSES hosts server   the server's name appears in the hosts file, as
//                            when a router's resolver comes up late
//   at PULSES dns answers    from here the name server answers: the server's
//                            address for its name, "no such name" for others
//   at PULSES watch cpu for SECONDS
//                            judge over that many seconds from here (or to
//                            the end of the run, if it comes first) whether
//                            the program keeps a core busy (faults.h)
//   at PULSES watch period for SECONDS
//                            judge over that many seconds from here (or to
//                            the end of the run) whether the program keeps
//                            its 100 ms cycle: the time between two updates
//                            of /tmp (faults.h)
//   at PULSES plant KIND PATH [ARG]
//                            as "plant" below, at that point of the run;
//                            whatever is at PATH goes first
//   at PULSES remove PATH    whatever is at PATH goes, a directory with all
//                            it holds
//
// Stream directives, in order of arrival:
//
//   bits 0 1 ...             single bits
//   silence N                N low bits
//   bytes HEX...             bytes, each least significant bit first
//   frame ...                one frame of the board (below)
//   header N                 hub only: sync, length N and its header CRC
//   garbage N                N bytes of a fixed pseudo-random sequence
//   repeat N DIRECTIVE       the stream directive N times
//
// Wind frame: "frame SPEED CODE [check C]", decimal; the check byte defaults
// to SPEED + CODE + 2 (low 8 bits).
// Hub frame: "frame [bad-header] [bad-crc] HEX...", at most 251 record bytes
// (the length byte counts them with the 4 bytes around them); sync, length
// and both CRCs are added, the flags spoil the header or frame CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class board_kind { wind, hub };
enum class export_mode { present, busy, missing };
enum class gpio_layout { chip, virtual_devices };
enum class gpio_sysfs { legacy, both, chip_local };
enum class stream_end { stop, low };

// Something put into /tmp before the program starts.
struct plant {
    enum kind_t { file, link, fifo, directory } kind = file;
    std::string path;
    std::string text; // a file's content, a link's target
};

// A fault and the point at which it happens.
struct fault {
    enum action_t {
        tmp_full,
        tmp_free,
        missing_clock,
        missing_data,
        refused_clock,
        stop,
        watch_cpu,
        plant_now,
        remove_now,
        name_server,
        dns_answers,
        watch_period
    } action = stop;
    uint64_t pulses = 0; // at the first read served after this many pulses
    uint64_t count = 0;  // missing: back after so many reads or pulses (0: never)
    double seconds = 0;  // stop: its delay; watch: its span
    plant planted;       // plant: what; remove: its path
};

// A GPIO chip as the kernel shows it.
struct gpio_chip_model {
    int base = 0;  // -1: dynamic
    int lines = 0; // 0: as many as the board's lines need, at least 8
    std::string label = "station-board";
};

struct scenario {
    board_kind board = board_kind::wind;
    int clock_line = -1; // offsets on the chip; -1: the board's own pair
    int data_line = -1;
    gpio_chip_model chip;
    gpio_chip_model other; // lines 0: none
    gpio_sysfs sysfs = gpio_sysfs::legacy;
    bool interface = true;
    uint8_t mac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    export_mode export_file = export_mode::present;
    gpio_layout layout = gpio_layout::chip;
    bool server_named = true;
    bool dns = false; // "dns silent": names come from a name server
    std::vector<std::string> args;
    std::vector<std::string> wrap;
    stream_end end = stream_end::stop;
    std::vector<plant> plants; // in order
    std::vector<fault> faults; // in order of their points
    std::vector<uint8_t> bits; // one entry, 0 or 1, per clock pulse
};

// Parses a scenario. On a fault returns false with `error` naming the line.
bool parse_scenario(const std::string &text, scenario &out, std::string &error);

// The line pair the program's board sits on: `lines`, or the board's own;
// offsets on the board's chip.
int clock_line_of(const scenario &sc);
int data_line_of(const scenario &sc);

// The board's chip as the kernel numbers it: its device number (1 behind
// another chip, else 0), its base and its line count; and the other chip's
// base.
int chip_device_of(const scenario &sc);
int chip_base_of(const scenario &sc);
int chip_lines_of(const scenario &sc);
int other_base_of(const scenario &sc);

// The inverse of quoted() (record.h): the bytes of a text in double quotes.
// False when `text` is not exactly one such quoted text.
bool unquote(const std::string &text, std::string &out);

// A whole word as a number from 0 to `max` in `base`.
bool parse_number(const std::string &word, int base, long max, long &out);

// One directive that adds to the bit stream (stream.cpp); false when it is
// not one or is malformed.
bool stream_directive(const std::vector<std::string> &words, board_kind board,
                      std::vector<uint8_t> &bits);

// Appends a byte to a bit stream, least significant bit first.
void push_byte(std::vector<uint8_t> &bits, uint8_t byte);

// CRC-8 of the hub link: polynomial x^8 + x^5 + x^4 + 1, reflected (0x8C),
// initial value 0, no final inversion. Written apart from hubpoll's own on
// purpose: frames built with the code under test would hide its faults.
uint8_t crc8(const uint8_t *bytes, size_t length);

// Most record bytes a hub frame can carry: its length byte counts them with
// sync, length and both CRCs.
constexpr size_t hub_records_max = 255 - 4;

// The bytes of a hub frame around `records` (at most hub_records_max): sync,
// length, header CRC, the records, frame CRC. A frame without records is the
// 3 header bytes alone.
std::vector<uint8_t> hub_frame(const std::vector<uint8_t> &records);
