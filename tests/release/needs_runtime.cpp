// Breaks only the library rule: linked without the static C++ runtime, the
// clock below comes from the shared one.
#include <chrono>
#include <cstdio>

int main() {
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    printf("%lld\n", static_cast<long long>(ticks));
}
