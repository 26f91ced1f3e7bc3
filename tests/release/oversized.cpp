// Breaks only the size rule: 56 KiB of table that it really reads.
#include <cstdio>

namespace {
const unsigned char table[56 * 1024] = {1};
}

int main(int argc, char **) {
    printf("%d\n", table[static_cast<unsigned>(argc) * 997u % sizeof table]);
}
