#include "scratch.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

scratch_dir::scratch_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "station-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        abort();
    path = pattern;
}

scratch_dir::~scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string scratch_dir::file(const std::string &name) const {
    std::filesystem::path full = std::filesystem::path(path) / name;
    std::filesystem::create_directories(full.parent_path());
    return full.string();
}

std::string read_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_text(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool file_exists(const std::string &path) {
    return std::filesystem::exists(path);
}

std::string listing(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string &name : names)
        out += (out.empty() ? "" : " ") + name;
    return out;
}

int open_descriptors() {
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    while (readdir(dir) != nullptr)
        count++;
    closedir(dir);
    return count;
}
