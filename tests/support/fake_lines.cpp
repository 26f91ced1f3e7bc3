#include "fake_lines.h"

#include "gpio.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

int value;
line_faults line_fault;
fake_board board;

void board_reset() {
    board = fake_board{};
    value = 0;
    line_fault = {};
}

void board_send(std::initializer_list<uint8_t> bytes) {
    board_send(std::vector<uint8_t>(bytes));
}

void board_send(const std::vector<uint8_t> &bytes) {
    for (uint8_t byte : bytes)
        for (int bit = 0; bit < 8; bit++)
            board.bits.push_back(static_cast<uint8_t>((byte >> bit) & 1));
}

void board_send_bits(std::initializer_list<uint8_t> bits) {
    board.bits.insert(board.bits.end(), bits.begin(), bits.end());
}

size_t board_left() {
    return board.bits.size() - std::min(board.next, board.bits.size());
}

void get() {
    if (board.data_missing > 0) {
        board.data_missing--;
        line_fault.data = {ENOENT, "open", "fake/data/value"};
        return;
    }
    board.samples++;
    board.sampled_at.push_back(board.pulses);
    value = board.next < board.bits.size() ? board.bits[board.next] : board.idle;
}

void set(int8_t level) {
    if (board.clock_missing > 0) {
        board.clock_missing--;
        line_fault.clock = {ENOENT, "open", "fake/clock/value"};
        return;
    }
    if (board.clock == 0 && level == 1) {
        board.pulses++;
        board.next++;
        if (board.pulses > board.limit) {
            fprintf(stderr, "fake board: more than %ld clock pulses, reader hung\n", board.limit);
            abort();
        }
    }
    board.clock = level;
}
