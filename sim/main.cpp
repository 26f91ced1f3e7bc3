// station-sim: runs one program of the weather station against an emulated
// board, inside a sandbox that gives it the router's paths and network.
//
//   station-sim --scenario FILE [--out DIR] [--trace FILE.vcd] [--live]
//               [--rounds N | --loop] [--name NAME] [--server-name NAME]
//               -- PROGRAM [ARG...]
//   station-sim --scenario FILE --print-stream
//
// The scenario's "wrap" words go before the program's command line, its "args"
// after it. Exit status: 0 when the run went as planned (whatever the program
// did), 1 on a fault of the station, 2 on a wrong command line, 77 when the
// system allows no namespaces (the reason is printed).
#include "options.h"
#include "sandbox.h"
#include "script.h"
#include "station.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int exit_fault = 1;
constexpr int exit_usage = 2;
constexpr int exit_skipped = 77;

std::string base_name(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Read whole and closed again before anything starts: the program must not
// inherit it.
bool read_text(const std::string &path, std::string &text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[4096];
    ssize_t got;
    while ((got = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(got));
    int saved = errno;
    if (close(fd) != 0 || got < 0) {
        errno = got < 0 ? saved : errno;
        return false;
    }
    return true;
}

// The sandbox covers /tmp and /sys: a program (or an emulator's target) that
// lives there is passed on as a descriptor that stays valid underneath.
void keep_reachable(run_options &opt) {
    for (std::string &arg : opt.command) {
        char real[PATH_MAX];
        if (realpath(arg.c_str(), real) == nullptr)
            continue;
        std::string path = real;
        if (path.rfind("/tmp/", 0) != 0 && path.rfind("/sys/", 0) != 0)
            continue;
        int fd = open(real, O_PATH | O_CLOEXEC); // opened for the program alone
        if (fd < 0)
            continue;
        arg = "/proc/self/fd/" + std::to_string(fd);
        opt.inherit.push_back(fd);
    }
}

int station_fault(const std::string &what, const char *reason) {
    std::fprintf(stderr, "station-sim: %s: %s\n", what.c_str(), reason);
    return exit_fault;
}

} // namespace

int main(int argc, char **argv) {
    options o;
    std::string error;
    switch (parse_options(argc, argv, o, error)) {
    case options_result::help:
        std::fputs(help_text().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : exit_fault;
    case options_result::wrong:
        std::fprintf(stderr, "station-sim: %s\n%s", error.c_str(), usage_text().c_str());
        return exit_usage;
    case options_result::run:
        break;
    }
    std::string text;
    scenario sc;
    if (!read_text(o.scenario, text))
        return station_fault(o.scenario, std::strerror(errno));
    if (!parse_scenario(text, sc, error))
        return station_fault(o.scenario, error.c_str());
    if (o.print_stream) {
        std::fputs(stream_listing(sc).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : exit_fault;
    }

    run_options opt;
    opt.live = o.live;
    opt.rounds = o.rounds;
    opt.name = o.name.empty() ? base_name(o.command[0]) : o.name;
    opt.command = sc.wrap;
    opt.command.insert(opt.command.end(), o.command.begin(), o.command.end());
    opt.command.insert(opt.command.end(), sc.args.begin(), sc.args.end());

    // Everything outside the sandbox is opened now, before /tmp is covered.
    if (!o.out.empty()) {
        if (mkdir(o.out.c_str(), 0755) != 0 && errno != EEXIST)
            return station_fault(o.out, std::strerror(errno));
        opt.results_dir = open(o.out.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        opt.results_path = o.out;
        if (opt.results_dir < 0)
            return station_fault(o.out, std::strerror(errno));
    }
    if (!o.trace.empty()) {
        opt.trace = std::fopen(o.trace.c_str(), "we");
        if (opt.trace == nullptr)
            return station_fault(o.trace, std::strerror(errno));
    }
    keep_reachable(opt);

    sandbox_config cfg;
    cfg.clock_line = clock_line_of(sc);
    cfg.data_line = data_line_of(sc);
    cfg.chip_device = chip_device_of(sc);
    cfg.chip_base = chip_base_of(sc);
    cfg.chip_lines = chip_lines_of(sc);
    cfg.chip_label = sc.chip.label;
    cfg.other = sc.other;
    cfg.other.base = other_base_of(sc);
    cfg.sysfs = sc.sysfs;
    cfg.interface = sc.interface;
    std::copy(sc.mac, sc.mac + 6, cfg.mac);
    cfg.export_file = sc.export_file;
    cfg.layout = sc.layout;
    cfg.server_named = sc.server_named;
    cfg.dns = sc.dns;
    cfg.server_name = o.server_name;
    for (const fault &f : sc.faults)
        cfg.small_tmp = cfg.small_tmp || f.action == fault::tmp_full;
    sandbox sb;
    switch (enter_sandbox(cfg, sb, error)) {
    case sandbox_result::ready:
        break;
    case sandbox_result::unavailable:
        std::printf("station-sim: skipped: %s\n", error.c_str());
        return exit_skipped;
    case sandbox_result::failed:
        std::fprintf(stderr, "station-sim: %s\n", error.c_str());
        return exit_fault;
    }
    int result =
        run_station(sc, sb, cfg.chip_base + cfg.clock_line, cfg.chip_base + cfg.data_line, opt);
    bool trace_failed = opt.trace != nullptr && std::ferror(opt.trace) != 0;
    if (opt.trace != nullptr && (std::fclose(opt.trace) != 0 || trace_failed))
        result = station_fault(o.trace, std::strerror(errno));
    return result;
}
