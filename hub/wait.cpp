#include "link.h"

#include <unistd.h>

void hub_wait(int32_t usec) {
    usleep(static_cast<useconds_t>(usec));
}
