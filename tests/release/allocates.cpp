// Breaks only the rule against the heap.
#include <cstdlib>

namespace {
void *volatile kept;
}

int main(int argc, char **) {
    kept = malloc(static_cast<size_t>(argc));
    free(kept);
}
