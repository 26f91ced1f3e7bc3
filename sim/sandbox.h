// The sandbox a program runs in: private mount and network namespaces with
// tmpfs over /sys and /tmp, the GPIO files of one line pair at their real
// paths, a hosts file that names the collecting server (or a resolver
// configuration that names the station's name server), and the network of
// network.h. Only the process that enters it, and its children, see it.
//
// Every GPIO file is a FIFO: the clock value file and the set-up files (export,
// directions) are held open read-write here, so the program's writes never
// block and are all kept; the data value file is met by a blocking open for
// each sample (see lockstep.h).
#pragma once

#include "network.h"
#include "script.h"

#include <string>
#include <vector>

struct sandbox_config {
    int clock_line = 2; // offsets on the board's chip
    int data_line = 1;
    int chip_device = 0; // the board's chip as the kernel numbers it
    int chip_base = 0;
    int chip_lines = 8;
    std::string chip_label = "station-board";
    gpio_chip_model other; // another chip on the same parent; lines 0: none
    gpio_sysfs sysfs = gpio_sysfs::legacy;
    bool interface = true;
    uint8_t mac[6] = {};
    export_mode export_file = export_mode::present;
    gpio_layout layout = gpio_layout::chip;
    std::string server_name = "weather-server";
    bool server_named = true; // the hosts file names the server from the start
    bool dns = false;         // the resolver asks the station's name server (server.h)
    bool small_tmp = false;   // /tmp of 1 MiB, so that the station can fill it
};

// A set-up file of the lines and what the program wrote to it.
struct setup_file {
    std::string path;
    int fd = -1;          // FIFO held read-write; -1 when not a FIFO
    std::string presence; // "busy" or "missing" when fd is -1
};

struct sandbox {
    std::string clock_dir_path, data_dir_path; // the lines' directories
    int clock_dir = -1, data_dir = -1;         // the same, reached wherever they are (O_PATH)
    int clock_fd = -1;                         // clock value FIFO, read-write, non-blocking
    std::vector<setup_file> setup_files;
    server_end server; // capture_fd -1 when there is no station interface
    std::string server_name;
};

enum class sandbox_result { ready, unavailable, failed };

// Moves the calling process into a new sandbox. Call it while the process is
// single-threaded. `unavailable` means the system allows no namespaces (or no
// virtual interfaces); `why` says so.
sandbox_result enter_sandbox(const sandbox_config &cfg, sandbox &sb, std::string &why);

// The GPIO files of both lines (gpio_files.cpp). On a failure `why` is set
// only where errno would not tell enough.
bool make_gpio_files(const sandbox_config &cfg, sandbox &sb, std::string &why);

// Puts a fresh, unopened FIFO at the value path of the line directory `dir`.
// The previous one stays usable through descriptors already open on it.
bool fresh_fifo(int dir);

// The same, held open read-write and non-blocking; -1 on a failure.
int held_value_fifo(int dir);

// Takes a line's directory away from its path, as when the line is unexported,
// or puts it back.
bool set_line_present(const sandbox &sb, bool data_line, bool present);

// Adds the server's name to the sandbox's hosts file, as when a router's
// resolver comes up late.
bool name_server_late(const std::string &server_name, std::string &why);

// Makes the clock's value file refuse every write (a device that refuses
// them, bound over it), or take them again.
bool set_clock_refusing(const sandbox &sb, bool refusing);

// What the program wrote to each set-up file, one line per file, in set-up
// order.
std::string setup_record(const sandbox &sb);
