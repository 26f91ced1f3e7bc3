# Prints the table of scripts/bench from its "key value" summary.
#
#   awk -f table.awk SUMMARY

{
    key = $1
    sub(/^[^ ]+ ?/, "")
    r[key] = $0
}

function has(k) { return (k in r) && r[k] != "" }

function num(k) { return r[k] + 0 }

function fmt(v, decimals) {
    if (v == "" || v == "-")
        return "-"
    return sprintf("%." decimals "f", v)
}

function row(label, project, textbook, ratio, target, holds, text) {
    text = sprintf("  %-44s %9s %9s %6s  %-17s %s", label, project, textbook, ratio, target, holds)
    sub(/ +$/, "", text)
    print text
}

function heading(text) {
    printf "%s\n", text
}

function ratio(a, b) { return (a == "" || b == "" || b + 0 == 0) ? "" : sprintf("%.2f", a / b) }

function verdict(ok) { return ok ? "yes" : "NO" }

# Calls per pulse of one variant and kind, "-" when there were none.
function per_pulse(v, kind, k) {
    k = "sys." v "." kind
    if (!has(k "_pulses") || num(k "_pulses") == 0)
        return "-"
    return num(k "_calls") / num(k "_pulses")
}

function per_cycle(v) {
    return has("sys." v ".cycles") && num("sys." v ".cycles") ? \
        num("sys." v ".cycle_calls") / num("sys." v ".cycles") : "-"
}

function per_report(v) {
    if (!has("sys." v ".reports") || !num("sys." v ".reports") || per_cycle(v) == "-")
        return "-"
    return num("sys." v ".report_calls") / num("sys." v ".reports") - per_cycle(v)
}

function trim(v) { # whole numbers without decimals, others with two
    if (v == "-")
        return v
    return v == int(v) ? sprintf("%d", v) : sprintf("%.2f", v)
}

# Time of a frame not spent asleep, per pulse: the operations on the lines
# and the station's answers.
function link_us(k) {
    return (r[k] - r[k ".sleeps"] * r[k ".sleep"]) / num("hub_pulses")
}

# A frame less the time the station took to answer the reads of the data
# line: what a get took within the frame beyond what it takes on a tmpfs.
function unserved_ms(k) {
    if (r[k ".get"] == "")
        return ""
    return (r[k] - num("hub_pulses") * (r[k ".get"] - r["lines.bench-lines.get"] / 1000)) / 1000
}

function hub_section(half, floor_ms, sb, tb, ts, slack_built, loop_key, loop, f, ft, f1, ft1, l1) {
    floor_ms = 2 * num("hub_pulses") * half / 1000
    heading(sprintf("hubpoll frame, %d pulses, half period %d us (sleep floor %.1f ms), median of %d",
                    num("hub_pulses"), half, floor_ms, num("hub_rounds")))
    sb = "frame.hubpoll." half ".built"
    tb = "frame.hubpoll-textbook." half ".built"
    slack_built = r[sb ".slack"]
    loop_key = slack_built == "1" ? "sleep." half ".1" : "sleep." half ".default"
    loop = r[loop_key]
    f = r[sb] / 1000
    ft = r[tb] / 1000
    row("frame (ms), timer slack as built: " slack_built " ns", fmt(f, 1), fmt(ft, 1),
        ratio(f, ft), half == 100 ? "below textbook" : "", half == 100 ? verdict(f < ft) : "")
    row("sleep-only loop, same sleeps, slack " (slack_built == "1" ? 1 : r["sleep.default_slack"]) " ns",
        fmt(loop / 1000, 1), "", "", "", "")
    row("frame / sleep floor", fmt(f / floor_ms, 2), fmt(ft / floor_ms, 2), "", "", "")
    row("mean sleep within the frame (us)", fmt(r[sb ".sleep"], 1), fmt(r[tb ".sleep"], 1), "", "",
        "")
    row("link time per pulse, besides sleeps (us)", fmt(link_us(sb), 1), fmt(link_us(tb), 1), "",
        "", "")
    row("of which get, the station answering (us)", fmt(r[sb ".get"], 1), fmt(r[tb ".get"], 1),
        "", "", "")
    row("frame / sleep-only loop", fmt(f * 1000 / loop, 2), fmt(ft * 1000 / loop, 2), "",
        half == 100 ? "at most 1.3" : "", half == 100 ? verdict(f * 1000 / loop <= 1.3) : "")
    row("the same, less the station's answers", fmt(unserved_ms(sb) * 1000 / loop, 2), "", "", "",
        "")
    row("CPU (% of its run)", fmt(r[sb ".cpu"], 1), fmt(r[tb ".cpu"], 1), "",
        half == 100 ? "no busy waiting" : "", half == 100 ? verdict(r[sb ".cpu"] < 50) : "")
    if (slack_built == "1")
        return
    f1 = r["frame.hubpoll." half ".1"] / 1000
    ft1 = r["frame.hubpoll-textbook." half ".1"] / 1000
    l1 = r["sleep." half ".1"]
    row("frame (ms), slack 1 ns set from outside", fmt(f1, 1), fmt(ft1, 1), ratio(f1, ft1),
        half == 100 ? "(preview)" : "", half == 100 ? verdict(f1 < ft1) : "")
    row("sleep-only loop, slack 1 ns", fmt(l1 / 1000, 1), "", "", "", "")
    row("frame / sleep floor", fmt(f1 / floor_ms, 2), fmt(ft1 / floor_ms, 2), "", "", "")
    row("mean sleep within the frame (us)", fmt(r["frame.hubpoll." half ".1.sleep"], 1),
        fmt(r["frame.hubpoll-textbook." half ".1.sleep"], 1), "", "", "")
    row("link time per pulse, besides sleeps (us)", fmt(link_us("frame.hubpoll." half ".1"), 1),
        fmt(link_us("frame.hubpoll-textbook." half ".1"), 1), "", "", "")
    row("of which get, the station answering (us)", fmt(r["frame.hubpoll." half ".1.get"], 1),
        fmt(r["frame.hubpoll-textbook." half ".1.get"], 1), "", "", "")
    row("frame / sleep-only loop", fmt(f1 * 1000 / l1, 2), fmt(ft1 * 1000 / l1, 2), "",
        half == 100 ? "(preview)" : "", half == 100 ? verdict(f1 * 1000 / l1 <= 1.3) : "")
    row("the same, less the station's answers",
        fmt(unserved_ms("frame.hubpoll." half ".1") * 1000 / l1, 2), "", "", "", "")
}

function line_row(label, op, p, t) {
    p = r["lines.bench-lines." op] / 1000
    t = r["lines.bench-lines-textbook." op] / 1000
    row(label, fmt(p, 2), fmt(t, 2), ratio(p, t), "", "")
}

function size_row(label, v, tv) {
    row(label, r["size." v], r["size." tv], ratio(r["size." v], r["size." tv]), "", "")
}

END {
    printf "Benchmarks, %s; %s\n", r["date"], r["machine"]
    printf "Load average %s at the start, %s at the end\n\n", r["load_start"], r["load_end"]
    printf "  %-44s %9s %9s %6s  %-17s %s\n", "", "project", "textbook", "ratio", "target", "holds"

    heading("System calls (strace, in the station)")
    g = per_pulse("gustlink", "sampled")
    row("gustlink, per sampled pulse", trim(g), trim(per_pulse("gustlink-textbook", "sampled")),
        ratio(g, per_pulse("gustlink-textbook", "sampled")), "at most 9", verdict(g != "-" && g <= 9))
    g = per_pulse("gustlink", "unsampled")
    row("gustlink, per unsampled pulse", trim(g), trim(per_pulse("gustlink-textbook", "unsampled")),
        ratio(g, per_pulse("gustlink-textbook", "unsampled")), "at most 6",
        verdict(g != "-" && g <= 6))
    row("gustlink, per wind cycle, besides its pulses", trim(per_cycle("gustlink")),
        trim(per_cycle("gustlink-textbook")), "", "", "")
    row("gustlink, added by a report", trim(per_report("gustlink")),
        trim(per_report("gustlink-textbook")), "", "", "")
    h = per_pulse("hubpoll", "sampled")
    row("hubpoll, per sampled pulse", trim(h), trim(per_pulse("hubpoll-textbook", "sampled")),
        ratio(h, per_pulse("hubpoll-textbook", "sampled")), "at most 9", verdict(h != "-" && h <= 9))
    s = num("sys.hubpoll.half_period_sleeps") / num("sys.hubpoll.sampled_pulses")
    st = num("sys.hubpoll-textbook.half_period_sleeps") / num("sys.hubpoll-textbook.sampled_pulses")
    row("hubpoll, half-period sleeps per pulse", trim(s), trim(st), "", "", "")
    row("gustlink, start-up, to the first pulse", r["sys.gustlink.startup_calls"],
        r["sys.gustlink-textbook.startup_calls"], "", "", "")
    row("hubpoll, start-up, to the first pulse", r["sys.hubpoll.startup_calls"],
        r["sys.hubpoll-textbook.startup_calls"], "", "", "")
    row("hubpoll, after the frame (report, exit)", r["sys.hubpoll.end_calls"],
        r["sys.hubpoll-textbook.end_calls"], "", "", "")

    heading("Line primitives, us per call on a tmpfs (median of 5)")
    line_row("get", "get")
    line_row("set", "set")
    line_row("sampled pulse: set(0), get, set(1)", "sampled_pulse")
    line_row("unsampled pulse: set(0), set(1)", "unsampled_pulse")

    heading(sprintf("gustlink cycle, %d periods", num("cycle.gustlink.n")))
    m = r["cycle.gustlink.median"] / 1000
    row("period median (ms)", fmt(m, 2), fmt(r["cycle.gustlink-textbook.median"] / 1000, 2), "",
        "100.0 +- 0.5", verdict(m >= 99.5 && m <= 100.5))
    p = r["cycle.gustlink.p99"] / 1000
    row("period 99th percentile (ms)", fmt(p, 2),
        fmt(r["cycle.gustlink-textbook.p99"] / 1000, 2), "", "under 102", verdict(p < 102))
    row("period maximum (ms)", fmt(r["cycle.gustlink.max"] / 1000, 2),
        fmt(r["cycle.gustlink-textbook.max"] / 1000, 2), "", "", "")
    c = 100 * r["run.gustlink.cpu_us"] / r["run.gustlink.wall_us"]
    ct = 100 * r["run.gustlink-textbook.cpu_us"] / r["run.gustlink-textbook.wall_us"]
    row("CPU (% of one core)", fmt(c, 2), fmt(ct, 2), ratio(c, ct), "under 2", verdict(c < 2))
    row("periods measured", r["cycle.gustlink.n"], r["cycle.gustlink-textbook.n"], "",
        "at least 300", verdict(num("cycle.gustlink.n") >= 300))

    slack = r["frame.hubpoll.100.built.slack"]
    heading("hubpoll timer slack")
    row("timer slack at its sleeps (ns)", slack, r["frame.hubpoll-textbook.100.built.slack"], "",
        "1 (asks for it)", verdict(slack == "1"))
    hub_section(100)
    hub_section(10)

    heading("Size (stripped, bytes) and peak resident memory (KiB)")
    size_row("host gustlink, size", "gustlink", "gustlink-textbook")
    size_row("host hubpoll, size", "hubpoll", "hubpoll-textbook")
    row("host gustlink, peak RSS", r["rss.gustlink"], r["rss.gustlink-textbook"], "", "", "")
    row("host hubpoll, peak RSS", r["rss.hubpoll"], r["rss.hubpoll-textbook"], "", "", "")
    if (has("router.dir")) {
        row("router gustlink, size", r["router.size.gustlink"], "", "", "", "")
        row("router hubpoll, size", r["router.size.hubpoll"], "", "", "", "")
        row("router gustlink, peak RSS of qemu-mips", r["router.rss.gustlink"], "", "", "", "")
        row("router hubpoll, peak RSS of qemu-mips", r["router.rss.hubpoll"], "", "", "", "")
    } else {
        row("router programs", "not built", "", "", "", "")
    }

    printf "\nA wind cycle besides its pulses: %s\n", r["sys.gustlink.cycle_common"]
    printf "A report cycle: %s\n", r["sys.gustlink.report_common"]
    split("gustlink gustlink-textbook hubpoll hubpoll-textbook", variants, " ")
    for (i = 1; i <= 4; i++)
        irregular(variants[i])
}

# Pulses that did not all cost the same, or operations outside any pulse.
function irregular(v, kind, k) {
    for (kind in kinds) {
        k = "sys." v "." kind
        if (has(k "_min") && r[k "_min"] != r[k "_max"])
            printf "Note: %s made %s to %s calls per %s pulse\n", v, r[k "_min"], r[k "_max"], kind
    }
    if (num("sys." v ".stray_operations"))
        printf "Note: %s made %d line operations outside any pulse\n", v,
            num("sys." v ".stray_operations")
}

BEGIN {
    kinds["sampled"]
    kinds["unsampled"]
}
