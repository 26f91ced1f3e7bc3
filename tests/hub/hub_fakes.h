// Test doubles for the hub reader: a recording wait, a captured output stream
// and a builder for well-formed hub frames.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

// Every hub_wait() since the last reset, in microseconds.
extern std::vector<int32_t> waits;

// An in-memory stream standing in for standard output.
struct capture {
    capture();
    ~capture();
    capture(const capture &) = delete;
    capture &operator=(const capture &) = delete;

    FILE *file;
    std::string text();
    std::vector<std::string> lines();

  private:
    char *buffer = nullptr;
    size_t size = 0;
};

// A frame with sync byte, length, header CRC, the given record bytes and the
// frame CRC.
std::vector<uint8_t> hub_frame(std::initializer_list<uint8_t> records);
std::vector<uint8_t> hub_frame(const std::vector<uint8_t> &records);

// The example frame of a humidity, a rain and a light record (16 bytes).
extern const std::vector<uint8_t> example_frame;
