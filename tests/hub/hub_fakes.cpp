#include "hub_fakes.h"

#include "crc8.h"
#include "link.h"

#include <cstdlib>

std::vector<int32_t> waits;

void hub_wait(int32_t usec) {
    waits.push_back(usec);
}

capture::capture() : file(open_memstream(&buffer, &size)) {
    if (file == nullptr)
        abort();
}

capture::~capture() {
    fclose(file);
    free(buffer);
}

std::string capture::text() {
    fflush(file);
    return std::string(buffer, size);
}

std::vector<std::string> capture::lines() {
    std::vector<std::string> out;
    std::string all = text();
    size_t start = 0;
    for (size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(all.substr(start, end - start));
    return out;
}

std::vector<uint8_t> hub_frame(std::initializer_list<uint8_t> records) {
    return hub_frame(std::vector<uint8_t>(records));
}

std::vector<uint8_t> hub_frame(const std::vector<uint8_t> &records) {
    std::vector<uint8_t> f{hub_sync, static_cast<uint8_t>(records.size() + 4)};
    f.push_back(crc8(f.data(), 2));
    f.insert(f.end(), records.begin(), records.end());
    f.push_back(crc8(f.data(), static_cast<uint16_t>(f.size())));
    return f;
}

const std::vector<uint8_t> example_frame{0xAA, 0x10, 0x94, 0x01, 0xD7, 0x00, 0x2D, 0x03,
                                         0x03, 0x00, 0x06, 0x7B, 0x00, 0xC8, 0x01, 0xC4};
