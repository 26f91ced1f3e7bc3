// station-sim: runs one program of the weather station against an emulated
// board, inside a sandbox that gives it the router's paths and network.
//
//   station-sim --scenario FILE [--out DIR] [--trace FILE.vcd] [--live]
//               [--rounds N | --loop] [--name NAME] [--server-name NAME]
//               -- PROGRAM [ARG...]
//
// The board plays its stream once, N times, or (--loop) until the station is
// interrupted. The scenario's "args" are appended to the program's command
// line. Exit
// status: 0 when the run went as planned (whatever the program did), 77 when
// the system allows no namespaces (the reason is printed), 1 otherwise.
#include "sandbox.h"
#include "script.h"
#include "station.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int exit_skipped = 77;

int usage() {
    std::fprintf(stderr, "usage: station-sim --scenario FILE [--out DIR] [--trace FILE.vcd] "
                         "[--live] [--rounds N | --loop] [--name NAME] [--server-name NAME] -- "
                         "PROGRAM [ARG...]\n");
    return 1;
}

std::string base_name(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The sandbox covers /tmp and /sys: a program (or an emulator's target) that
// lives there is passed on as a descriptor that stays valid underneath.
void keep_reachable(std::vector<std::string> &command) {
    for (std::string &arg : command) {
        char real[PATH_MAX];
        if (realpath(arg.c_str(), real) == nullptr)
            continue;
        std::string path = real;
        if (path.rfind("/tmp/", 0) != 0 && path.rfind("/sys/", 0) != 0)
            continue;
        int fd = open(real, O_PATH); // inherited by the program on purpose
        if (fd >= 0)
            arg = "/proc/self/fd/" + std::to_string(fd);
    }
}

} // namespace

int main(int argc, char **argv) {
    std::string scenario_path, out_path, trace_path, server_name = "weather-server";
    run_options opt;
    int k = 1;
    for (; k < argc && std::strcmp(argv[k], "--") != 0; k++) {
        std::string a = argv[k];
        bool has_value = k + 1 < argc;
        if (a == "--live")
            opt.live = true;
        else if (a == "--loop")
            opt.rounds = 0;
        else if (a == "--rounds" && has_value && std::atoi(argv[k + 1]) > 0)
            opt.rounds = static_cast<uint64_t>(std::atoi(argv[++k]));
        else if (a == "--scenario" && has_value)
            scenario_path = argv[++k];
        else if (a == "--out" && has_value)
            out_path = argv[++k];
        else if (a == "--trace" && has_value)
            trace_path = argv[++k];
        else if (a == "--name" && has_value)
            opt.name = argv[++k];
        else if (a == "--server-name" && has_value)
            server_name = argv[++k];
        else
            return usage();
    }
    if (scenario_path.empty() || k + 1 >= argc)
        return usage();
    opt.command.assign(argv + k + 1, argv + argc);

    std::ifstream in(scenario_path);
    std::stringstream text;
    text << in.rdbuf();
    scenario sc;
    std::string error;
    if (!in || !parse_scenario(text.str(), sc, error)) {
        std::fprintf(stderr, "station-sim: %s: %s\n", scenario_path.c_str(),
                     in ? error.c_str() : std::strerror(errno));
        return 1;
    }
    opt.command.insert(opt.command.end(), sc.args.begin(), sc.args.end());
    if (opt.name.empty())
        opt.name = base_name(opt.command[0]);

    // Everything outside the sandbox is opened now, before /tmp is covered.
    if (!out_path.empty()) {
        mkdir(out_path.c_str(), 0755);
        opt.results_dir = open(out_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (opt.results_dir < 0) {
            std::perror(("station-sim: " + out_path).c_str());
            return 1;
        }
    }
    if (!trace_path.empty()) {
        opt.trace = std::fopen(trace_path.c_str(), "we");
        if (opt.trace == nullptr) {
            std::perror(("station-sim: " + trace_path).c_str());
            return 1;
        }
    }
    keep_reachable(opt.command);

    sandbox_config cfg;
    bool wind = sc.board == board_kind::wind;
    cfg.clock_line = wind ? 2 : 3;
    cfg.data_line = wind ? 1 : 7;
    cfg.interface = sc.interface;
    std::copy(sc.mac, sc.mac + 6, cfg.mac);
    cfg.export_file = sc.export_file;
    cfg.server_name = server_name;
    sandbox sb;
    switch (enter_sandbox(cfg, sb, error)) {
    case sandbox_result::ready:
        break;
    case sandbox_result::unavailable:
        std::printf("station-sim: skipped: %s\n", error.c_str());
        return exit_skipped;
    case sandbox_result::failed:
        std::fprintf(stderr, "station-sim: %s\n", error.c_str());
        return 1;
    }
    int result = run_station(sc, sb, cfg.clock_line, cfg.data_line, opt);
    if (opt.trace != nullptr && std::fclose(opt.trace) != 0)
        result = 1;
    return result;
}
