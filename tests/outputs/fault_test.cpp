#include "fault.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <iterator>

namespace {

TEST(FaultRun, OneReportPerRunOfFailures) {
    fault_run run{};
    const int outcomes[] = {ENOSPC, ENOSPC, EISDIR, 0, 0, ENOSPC, 0};
    const bool reported[] = {true, false, false, false, false, true, false};
    for (size_t k = 0; k < std::size(outcomes); k++)
        EXPECT_EQ(starts_run(run, outcomes[k]), reported[k]) << "outcome " << k;
}

} // namespace
