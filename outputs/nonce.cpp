#include "publish.h"

#include <ctime>
#include <sys/random.h>
#include <unistd.h>

uint32_t publish_nonce() {
    // Seeded once from the kernel's random pool (on kernels before 3.17, from
    // the clock, the process and where its stack lies), then a xorshift
    // generator: the names need only be beyond a local user's guessing.
    static uint64_t state;
    if (state == 0) {
        uint64_t seed = 0;
        if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed))
            seed = static_cast<uint64_t>(time(nullptr)) ^ static_cast<uint64_t>(getpid()) << 32 ^
                   reinterpret_cast<uintptr_t>(&seed);
        state = seed | 1;
    }
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return static_cast<uint32_t>((state * 0x2545F4914F6CDD1Dull) >> 32);
}
