// Time of the line primitives on plain files in a tmpfs: get, set, and the two
// clock pulses the programs make, sampled (set 0, get, set 1) and unsampled
// (set 0, set 1). Built once against each line library; scripts/bench runs
// both on the same files and compares them.
//
//   bench-lines[-textbook] --root DIR [Google Benchmark options]
//
// DIR must be on a tmpfs, so that no disk enters the figures.
#include "gpio.h"

#include <benchmark/benchmark.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/magic.h>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace {

constexpr line_pair lines{2, 1};

void bench_get(benchmark::State &state) {
    for (auto _ : state)
        get();
    if (value != 1)
        state.SkipWithError("the data file did not read as 1");
}

void bench_set(benchmark::State &state) {
    for (auto _ : state)
        set(1);
}

void bench_sampled_pulse(benchmark::State &state) {
    for (auto _ : state) {
        set(0);
        get();
        set(1);
    }
}

void bench_unsampled_pulse(benchmark::State &state) {
    for (auto _ : state) {
        set(0);
        set(1);
    }
}

BENCHMARK(bench_get);
BENCHMARK(bench_set);
BENCHMARK(bench_sampled_pulse);
BENCHMARK(bench_unsampled_pulse);

bool make_dirs(const std::string &path) {
    for (size_t slash = 0; slash != std::string::npos;) {
        slash = path.find('/', slash + 1);
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            std::perror(part.c_str());
            return false;
        }
    }
    return true;
}

bool put(const std::string &path, const char *text) {
    FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr || std::fputs(text, file) < 0 || std::fclose(file) != 0) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

// The value files of the line pair under `root`: data high, clock high.
bool lay_out(const std::string &root) {
    std::string dev = root + "/sys/class/gpio/gpio";
    std::string clock = dev + std::to_string(lines.clock);
    std::string data = dev + std::to_string(lines.data);
    return make_dirs(clock) && make_dirs(data) && put(clock + "/value", "1\n") &&
           put(data + "/value", "1\n");
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (argc != 3 || std::strcmp(argv[1], "--root") != 0) {
        std::fprintf(stderr, "usage: %s --root DIR [benchmark options]\n", argv[0]);
        return 2;
    }
    std::string root = argv[2];
    struct statfs fs;
    if (statfs(root.c_str(), &fs) != 0) {
        std::perror(root.c_str());
        return 1;
    }
    if (fs.f_type != TMPFS_MAGIC) {
        std::fprintf(stderr, "%s: not a tmpfs\n", root.c_str());
        return 1;
    }
    if (!lay_out(root))
        return 1;
    gpio_bind(lines, root.c_str());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
