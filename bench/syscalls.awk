# Attributes the system calls of one program, as `strace -f -y` logged them,
# to clock pulses, to the stretches between pulses, and to start-up.
#
#   awk -v half_ns=N -f syscalls.awk LOG
#
# An operation is everything from an open of a GPIO value file to the close of
# that descriptor (the data file is opened for reading, the clock file for
# writing; the digit written tells set(0) from set(1)). A pulse runs from the
# open of its set(0) to the close of its set(1), and is sampled when a get
# lies within it; every call within it counts for it. Sleeps of half_ns ns
# (hubpoll's half period; 0 for none) are counted apart, wherever they lie.
# The calls between two pulses form a gap: the first gap is start-up (from
# the last execve), the others are wind cycles (a gap with a sendto is a
# report cycle), and the calls after the last pulse end the run.
#
# Prints "key value" lines. Pulses, cycles and reports each get the min,
# median and max of their calls over the run ("sampled.median", ...); what a
# report adds is its calls less the median cycle. A program that does
# something once (the /tmp writer lists /tmp before its first file) makes
# one cycle unlike the rest: the first cycle and the first report that
# differ from the most common ones are printed with their place.

function arg_fd(text) { # the descriptor a call's first argument names
    sub(/^[a-z0-9_]+\(/, "", text)
    return text + 0
}

function close_gap() {
    if (gap_n == 0)
        return
    if (!pulses_seen) {
        startup_n = gap_n
    } else if (gap_send) {
        reports++
        report_total += gap_n
        report_seq[gap_seq]++
        counts["report", reports] = gap_n
        seq_of["report", reports] = gap_seq
    } else {
        cycles++
        cycle_total += gap_n
        cycle_seq[gap_seq]++
        counts["cycle", cycles] = gap_n
        seq_of["cycle", cycles] = gap_seq
    }
    gap_n = 0
    gap_seq = ""
    gap_send = 0
}

function end_op() {
    in_op = 0
    if (op_kind == "get") {
        if (!pulse_open) {
            stray++
            return
        }
        pulse_sampled = 1
        pulse_calls += op_calls
    } else if (op_level == 0) {
        if (pulse_open)
            incomplete++
        pulse_open = 1
        pulse_sampled = 0
        pulse_calls = op_calls
    } else {
        if (!pulse_open) {
            stray++
            return
        }
        pulse_calls += op_calls
        pulse_open = 0
        pulses_seen = 1
        kind = pulse_sampled ? "sampled" : "unsampled"
        n[kind]++
        total[kind] += pulse_calls
        counts[kind, n[kind]] = pulse_calls
    }
}

# Signals and exits of the process, and the second halves of interrupted calls.
$2 ~ /^(---|\+\+\+)/ || /resumed>/ { next }

{
    call = $0
    sub(/^[0-9]+ +/, "", call)
    name = call
    sub(/\(.*/, "", name)
}

# Start-up counts from the program's own execve, not from a launcher's.
name == "execve" && !pulses_seen {
    gap_n = 0
    gap_seq = ""
}

!in_op && name == "openat" && call ~ /\/value"/ && call ~ /= [0-9]+</ {
    close_gap()
    match(call, /= [0-9]+</)
    op_fd = substr(call, RSTART + 2, RLENGTH - 3) + 0
    op_kind = call ~ /O_RDONLY/ ? "get" : "set"
    op_level = -1
    op_calls = 1
    in_op = 1
    next
}

in_op {
    op_calls++
    if (name == "write" && arg_fd(call) == op_fd && match(call, /, "[0-9]/))
        op_level = substr(call, RSTART + 3, 1) + 0
    if (name == "close" && arg_fd(call) == op_fd)
        end_op()
    next
}

half_ns > 0 && name ~ /nanosleep$/ && call ~ ("tv_sec=0, tv_nsec=" half_ns "}") {
    sleeps++
    next
}

pulse_open {
    pulse_calls++
    next
}

{
    gap_n++
    gap_seq = gap_seq (gap_seq == "" ? "" : " ") name
    if (name ~ /^send/)
        gap_send = 1
}

# The sequence seen most often; of equals, the shortest (what a program does
# once makes its cycle longer), then the first in sort order.
function most_common(seqs, best, k, a, b, parts) {
    best = ""
    for (k in seqs) {
        if (best != "") {
            a = split(k, parts, " ")
            b = split(best, parts, " ")
        }
        if (best == "" || seqs[k] > seqs[best] ||
            (seqs[k] == seqs[best] && (a < b || (a == b && k < best))))
            best = k
    }
    return best
}

# The i-th smallest of counts[what, 1..total].
function nth(what, total, i, a, j, k, v) {
    for (j = 1; j <= total; j++) {
        v = counts[what, j]
        for (k = j - 1; k >= 1 && a[k] > v; k--)
            a[k + 1] = a[k]
        a[k + 1] = v
    }
    return a[i]
}

function spread(what, total, less, key) {
    if (!total)
        return
    print key ".min", nth(what, total, 1) - less
    print key ".median", (total % 2 ? nth(what, total, (total + 1) / 2) : \
        (nth(what, total, total / 2) + nth(what, total, total / 2 + 1)) / 2) - less
    print key ".max", nth(what, total, total) - less
}

# The first of `what` whose calls differ from the most common sequence.
function odd_one(what, total, common, key, i) {
    for (i = 1; i <= total; i++)
        if (seq_of[what, i] != common) {
            print key, i, counts[what, i], seq_of[what, i]
            return
        }
}

END {
    if (pulse_open)
        incomplete++
    end_n = gap_n
    end_seq = gap_seq
    for (kind in n) {
        print kind "_pulses", n[kind]
        print kind "_calls", total[kind]
        spread(kind, n[kind], 0, kind)
    }
    print "half_period_sleeps", sleeps + 0
    print "incomplete_pulses", incomplete + 0
    print "stray_operations", stray + 0
    print "startup_calls", startup_n + 0
    print "cycles", cycles + 0
    print "cycle_calls", cycle_total + 0
    print "cycle_common", most_common(cycle_seq)
    spread("cycle", cycles, 0, "cycle")
    odd_one("cycle", cycles, most_common(cycle_seq), "cycle_odd")
    print "reports", reports + 0
    print "report_calls", report_total + 0
    print "report_common", most_common(report_seq)
    if (cycles) {
        median_cycle = cycles % 2 ? nth("cycle", cycles, (cycles + 1) / 2) : \
            (nth("cycle", cycles, cycles / 2) + nth("cycle", cycles, cycles / 2 + 1)) / 2
        spread("report", reports, median_cycle, "report_added")
    }
    odd_one("report", reports, most_common(report_seq), "report_odd")
    print "end_calls", end_n + 0
    print "end_sequence", end_seq
}
