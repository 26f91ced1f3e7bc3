# Reads the log of the timing shim (bench-timing) for one run.
#
#   awk -v what=periods -f timing.awk LOG
#       gustlink's cycle periods in microseconds, one a line: a cycle starts
#       at the first reading of the time of day after a sleep (or at the
#       first of all), and a period runs from one start to the next.
#   awk -v what=frame -v half_ns=N -f timing.awk LOG
#       hubpoll's frame read: "frame_us sleeps mean_sleep_us slack_ns
#       mean_get_us", the frame running from the start of the first sleep of
#       N ns to the end of the last one; mean_get_us is "-" where the reads
#       of the data line were out of the shim's sight.

what == "periods" && $1 == "clock" {
    if (!started || slept) {
        if (started)
            printf "%.1f\n", ($2 - last) / 1000
        last = $2
        started = 1
        slept = 0
    }
}

what == "periods" && $1 == "sleep" {
    slept = 1
}

$1 == "slack" {
    slack = $2
}

what == "frame" && $1 == "sleep" && $2 == half_ns {
    if (!sleeps)
        first = $3
    end = $4
    sleeps++
    slept_ns += $4 - $3
}

what == "frame" && $1 == "get" {
    gets++
    get_ns += $3 - $2
}

END {
    if (what == "frame")
        printf "%.1f %d %.1f %s %s\n", (end - first) / 1000, sleeps,
            sleeps ? slept_ns / sleeps / 1000 : 0, slack,
            gets ? sprintf("%.1f", get_ns / gets / 1000) : "-"
}
