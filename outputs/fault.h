// Runs of failures: a file or line that keeps failing is reported once, at the
// first failure after a success (or at start), not on every cycle.
#pragma once

struct fault_run {
    bool failing;
};

// Records the outcome of one attempt, `error` being 0 for success or the errno
// value of the failure, and says whether it is the one failure of its run to
// report.
constexpr bool starts_run(fault_run &run, int error) {
    bool first = error != 0 && !run.failing;
    run.failing = error != 0;
    return first;
}
