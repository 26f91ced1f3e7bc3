// A second writer of one of the program's outputs, at once with it, through
// the same writer and the same names: a gustlink started twice by mistake, a
// hubpoll started by hand beside cron's. It runs the program as its child,
// writes the output as fast as it can meanwhile, and reads it back after each
// write: a reader must always find a whole file, its own text or the
// program's. At the end it says on standard error what it saw: the torn
// reads (none) and the temporary files left in /tmp (none).
//
//   rival OUTPUT PROGRAM-OUTPUT-PATTERN -- PROGRAM [ARG...]
//
// A stop of the run (SIGTERM to its process group) reaches both; the rival
// then ends by the same signal, so the run's status is the program's.
#include "publish.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t stopped = 0;

void on_term(int) {
    stopped = 1;
}

std::string read_all(const std::string &path) {
    std::string text;
    FILE *f = std::fopen(path.c_str(), "re");
    if (f == nullptr)
        return text;
    char buf[256];
    for (size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, got);
    std::fclose(f);
    return text;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "usage: rival OUTPUT PATTERN -- PROGRAM [ARG...]\n");
        return 2;
    }
    std::string output = argv[1];
    std::regex programs(argv[2]);
    std::string prefix =
        output.substr(0, output.rfind('.')) + "_" + output.substr(output.rfind('.'));
    const std::string own = "written by a second writer";

    std::signal(SIGTERM, on_term);
    pid_t program = fork();
    if (program == 0) {
        std::signal(SIGTERM, SIG_DFL);
        execvp(argv[4], argv + 4);
        _exit(127);
    }
    long torn = 0, writes = 0;
    int status = 0;
    for (;;) {
        if (waitpid(program, &status, WNOHANG) == program)
            break;
        if (stopped)
            continue; // the program is stopping too: wait for it
        if (publish(prefix.c_str(), output.c_str(), own.data(), own.size()) == 0)
            writes++;
        std::string got = read_all(output);
        if (got != own && !std::regex_match(got, programs))
            torn++;
    }
    std::string log = "rival: torn reads: " + std::to_string(torn) + "\n";
    if (DIR *tmp = opendir("/tmp")) {
        for (dirent *e; (e = readdir(tmp)) != nullptr;)
            if (std::strstr(e->d_name, "_.dat.") != nullptr)
                log += std::string("rival: left behind: ") + e->d_name + "\n";
        closedir(tmp);
    }
    log += writes > 100 ? "rival: wrote beside the program\n" : "rival: too few writes to tell\n";
    std::fputs(log.c_str(), stderr);
    if (stopped) {
        std::signal(SIGTERM, SIG_DFL);
        raise(SIGTERM);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
