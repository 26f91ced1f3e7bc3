// Scratch directories and descriptor counting for tests that touch files.
#pragma once

#include <string>

// A fresh directory under the system's temporary directory, removed with its
// content when the object goes out of scope.
struct scratch_dir {
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir &) = delete;
    scratch_dir &operator=(const scratch_dir &) = delete;

    std::string path;
    // Path of `name` inside the directory; creates the parent directories.
    std::string file(const std::string &name) const;
};

std::string read_text(const std::string &path);
void write_text(const std::string &path, const std::string &text);
bool file_exists(const std::string &path);
// The names in a directory, sorted, separated by blanks: what a writer left.
std::string listing(const std::string &dir);

// Number of descriptors this process holds open, to show that nothing leaked.
int open_descriptors();
