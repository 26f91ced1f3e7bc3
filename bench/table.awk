# Prints the table of scripts/bench from its "key value" summary.
#
#   awk -f table.awk SUMMARY
#
# A figure K that was measured many times comes as K.min, K.median and
# K.max and fills three columns; a figure measured once stands in the middle
# column. A timing's verdict is "yes" or "NO" only when its whole spread lies
# on one side of the target, and "spread" when the target cuts through it:
# a verdict that one more run could flip says nothing. System call counts do
# not move from run to run and get a plain verdict. A section whose figures
# are missing from the summary is left out.

{
    key = $1
    sub(/^[^ ]+ ?/, "")
    r[key] = $0
}

function has(k) { return (k in r) && r[k] != "" }

function num(k) { return r[k] + 0 }

# A number with `d` decimals, a count ("c": whole without decimals,
# otherwise with two), or text as it is ("s").
function fmt(v, d) {
    if (v == "-" || d == "s")
        return v
    if (d == "c")
        return v == int(v) ? sprintf("%d", v) : sprintf("%.2f", v)
    return sprintf("%." d "f", v)
}

function line(label, a1, a2, a3, b1, b2, b3, target, holds, text) {
    text = sprintf("  %-44s %7s %7s %7s  %7s %7s %7s  %-17s %s", label, a1, a2, a3, b1, b2, b3,
                   target, holds)
    sub(/ +$/, "", text)
    print text
}

function columns(a, b) {
    printf "  %-44s %s  %s\n", "", dashes(a), dashes(b)
    line("", "min", "median", "max", "min", "median", "max", "target", "holds")
}

# `name` centred in dashes over three columns.
function dashes(name, left, right) {
    left = int((21 - length(name)) / 2)
    right = 21 - length(name) - left
    return substr("----------", 1, left) " " name " " substr("----------", 1, right)
}

# The three cells of figure k over `scale`, into t1, t2 and t3: blank for no
# key, "-" for a figure that was not measured.
function triple(k, scale, d) {
    t1 = t2 = t3 = ""
    if (k == "")
        return
    if (has(k ".median")) {
        t1 = fmt(r[k ".min"] / scale, d)
        t2 = fmt(r[k ".median"] / scale, d)
        t3 = fmt(r[k ".max"] / scale, d)
    } else if (has(k) && r[k] != "-") {
        t2 = fmt(d == "s" ? r[k] : r[k] / scale, d)
    } else {
        t2 = "-"
    }
}

function row(label, ka, kb, scale, d, target, holds, a1, a2, a3) {
    triple(ka, scale, d)
    a1 = t1
    a2 = t2
    a3 = t3
    triple(kb, scale, d)
    line(label, a1, a2, a3, t1, t2, t3, target, holds)
}

# The verdict on figure k for the target (lo, hi), "" for an open end;
# `strict` leaves the ends themselves out.
function judge(k, lo, hi, strict, mn, mx) {
    if (has(k ".min")) {
        mn = r[k ".min"] + 0
        mx = r[k ".max"] + 0
    } else if (has(k) && r[k] != "-") {
        mn = mx = r[k] + 0
    } else {
        return ""
    }
    if (below(mx, lo, strict) || above(mn, hi, strict))
        return "NO"
    if (!below(mn, lo, strict) && !above(mx, hi, strict))
        return "yes"
    return "spread"
}

function below(x, lo, strict) { return lo != "" && (strict ? x <= lo : x < lo) }

function above(x, hi, strict) { return hi != "" && (strict ? x >= hi : x > hi) }

# A count must hold for every pulse: its maximum decides.
function count_at_most(k, limit) {
    if (!has(k ".max"))
        return has(k) && r[k] != "-" ? (r[k] + 0 <= limit ? "yes" : "NO") : ""
    return r[k ".max"] + 0 <= limit ? "yes" : "NO"
}

# k = a / b as far as the two spreads allow: the least a over the greatest
# b, the medians, the greatest a over the least b.
function bounds(k, a, b) {
    if (!has(a ".median") || !has(b ".median") || r[b ".min"] + 0 == 0)
        return
    r[k ".min"] = r[a ".min"] / r[b ".max"]
    r[k ".median"] = r[a ".median"] / r[b ".median"]
    r[k ".max"] = r[a ".max"] / r[b ".min"]
}

# k = a's median over a bare system call's on kernel p ("kernel.NAME.").
function per_call(k, a, p) {
    if (has(a ".median") && num(p "syscall.median") > 0)
        r[k] = r[a ".median"] / r[p "syscall.median"]
}

function heading(text) { print text }

# The columns of the programs, above the first section that has them.
function host_columns() {
    if (host_columns_shown++)
        return
    columns("project", "textbook")
}

function syscall_section(v, p, t) {
    if (!has("sys.gustlink.sampled.median") && !has("sys.hubpoll.sampled.median"))
        return
    host_columns()
    heading("System calls (strace, in the station), over the pulses, cycles or reports of one run")
    row("gustlink, per sampled pulse", "sys.gustlink.sampled", "sys.gustlink-textbook.sampled", 1,
        "c", "at most 9", count_at_most("sys.gustlink.sampled", 9))
    row("gustlink, per unsampled pulse", "sys.gustlink.unsampled",
        "sys.gustlink-textbook.unsampled", 1, "c", "at most 6",
        count_at_most("sys.gustlink.unsampled", 6))
    row("gustlink, per wind cycle, besides its pulses", "sys.gustlink.cycle",
        "sys.gustlink-textbook.cycle", 1, "c")
    row("gustlink, added by a report", "sys.gustlink.report_added",
        "sys.gustlink-textbook.report_added", 1, "c")
    row("hubpoll, per sampled pulse", "sys.hubpoll.sampled", "sys.hubpoll-textbook.sampled", 1, "c",
        "at most 9", count_at_most("sys.hubpoll.sampled", 9))
    for (v = 1; v <= 2; v++) {
        p = v == 1 ? "hubpoll" : "hubpoll-textbook"
        if (num("sys." p ".sampled_pulses"))
            r["calc." p ".sleeps"] = num("sys." p ".half_period_sleeps") / \
                                     num("sys." p ".sampled_pulses")
    }
    row("hubpoll, half-period sleeps per pulse", "calc.hubpoll.sleeps",
        "calc.hubpoll-textbook.sleeps", 1, "c")
    row("gustlink, start-up, to the first pulse", "sys.gustlink.startup_calls",
        "sys.gustlink-textbook.startup_calls", 1, "c")
    row("hubpoll, start-up, to the first pulse", "sys.hubpoll.startup_calls",
        "sys.hubpoll-textbook.startup_calls", 1, "c")
    row("hubpoll, after the frame (report, exit)", "sys.hubpoll.end_calls",
        "sys.hubpoll-textbook.end_calls", 1, "c")
}

function lines_section(n, ops, labels, i) {
    if (!has("lines.bench-lines.get.median"))
        return
    host_columns()
    heading(sprintf("Line primitives, us per call on a tmpfs, %d rounds", num("line_rounds")))
    n = split("get set sampled_pulse unsampled_pulse", ops, " ")
    split("get|set|sampled pulse: set(0), get, set(1)|unsampled pulse: set(0), set(1)", labels,
          "|")
    for (i = 1; i <= n; i++) {
        row(labels[i], "lines.bench-lines." ops[i], "lines.bench-lines-textbook." ops[i], 1000, 2)
        row("  project / textbook, same round", "lines.ratio." ops[i], "", 1, 2)
    }
}

function cycle_section(p, t) {
    p = "cycle.gustlink."
    t = "cycle.gustlink-textbook."
    if (!has(p "period_median.median"))
        return
    host_columns()
    heading(sprintf("gustlink cycle, %d rounds of %s periods, both versions at once",
                    num("cycle_rounds"), r[p "periods.median"]))
    row("period median (ms)", p "period_median", t "period_median", 1000, 2, "100.0 +- 0.5",
        judge(p "period_median", 99500, 100500, 0))
    row("period 99th percentile (ms)", p "period_p99", t "period_p99", 1000, 2, "under 102",
        judge(p "period_p99", "", 102000, 1))
    row("period maximum (ms)", p "period_max", t "period_max", 1000, 2)
    row("CPU (% of one core, on this machine)", p "cpu", t "cpu", 1, 2, "under 2",
        judge(p "cpu", "", 2, 1))
    row("  project / textbook, same round", "cycle.cpu_ratio", "", 1, 2)
    row("periods measured per round", p "periods", t "periods", 1, "c", "at least 300",
        judge(p "periods", 300, "", 0))
}

function hub_section(half, p, slack) {
    p = "frame.hubpoll." half
    if (!has(p ".built.ms.median"))
        return
    host_columns()
    heading(sprintf("hubpoll frame, %d pulses, half period %d us (sleep floor %.1f ms), %d rounds",
                    num("hub_pulses"), half, 2 * num("hub_pulses") * half / 1000,
                    num("hub_rounds")))
    slack = r[p ".built.slack"]
    hub_rows(half, "built", "timer slack as built: " slack " ns", half == 100, slack == "1")
    if (slack != "1")
        hub_rows(half, "1", "slack 1 ns set from outside", half == 100 ? "(preview)" : 0, 1)
}

# The rows of one timer slack; `targets` is 1 for verdicts, a word to put in
# their place, or 0 for none.
function hub_rows(half, s, how, targets, one_ns, p, t, loop, target) {
    p = "frame.hubpoll." half "." s
    t = "frame.hubpoll-textbook." half "." s
    loop = "sleep." half "." (one_ns ? "1" : "default")
    row("frame (ms), " how, p ".ms", t ".ms", 1, 1)
    target = targets == 1 ? "under 1" : targets ? targets : ""
    row("  project / textbook, same round", "frame.ratio." half "." s, "", 1, 2, target,
        targets == 1 ? judge("frame.ratio." half "." s, "", 1, 1) : "")
    row("sleep-only loop (ms), slack " (one_ns ? 1 : r["sleep.default_slack"]) " ns",
        loop, "", 1000, 1)
    row("frame / sleep floor", p ".floor", t ".floor", 1, 2)
    row("mean sleep within the frame (us)", p ".sleep", t ".sleep", 1, 1)
    row("link time per pulse, besides sleeps (us)", p ".link", t ".link", 1, 1)
    row("of which get, the station answering (us)", p ".get", t ".get", 1, 1)
    target = targets == 1 ? "at most 1.3" : targets ? targets : ""
    row("frame / sleep-only loop, same round", p ".loop", t ".loop", 1, 2, target,
        targets == 1 ? judge(p ".loop", "", 1.3, 0) : "")
    row("the same, less the station's answers", p ".unserved", "", 1, 2)
    target = targets == 1 ? "no busy waiting" : ""
    row("CPU (% of its run, on this machine)", p ".cpu", t ".cpu", 1, 1, target,
        targets == 1 ? judge(p ".cpu", "", 50, 1) : "")
}

function size_section() {
    if (!has("size.gustlink"))
        return
    host_columns()
    heading("Size (stripped, bytes) and peak resident memory (KiB)")
    row("host gustlink, size", "size.gustlink", "size.gustlink-textbook", 1, "c")
    row("host hubpoll, size", "size.hubpoll", "size.hubpoll-textbook", 1, "c")
    row("host gustlink, peak RSS", "rss.gustlink", "rss.gustlink-textbook", 1, "c")
    row("host hubpoll, peak RSS", "rss.hubpoll", "rss.hubpoll-textbook", 1, "c")
    if (has("router.dir")) {
        row("router gustlink, size", "router.size.gustlink", "", 1, "c")
        row("router hubpoll, size", "router.size.hubpoll", "", 1, "c")
        row("router gustlink, peak RSS of qemu-mips", "router.rss.gustlink", "", 1, "c")
        row("router hubpoll, peak RSS of qemu-mips", "router.rss.hubpoll", "", 1, "c")
    } else {
        line("router programs", "", "not built")
    }
}

# The wind arithmetic of one sample: the host's hard-float program natively,
# each router target's build (soft-float but aarch64's) under its qemu user
# CPU.
function wind_section(n, targets, i, t) {
    if (!has("wind.host.us.median"))
        return
    heading(sprintf("Wind arithmetic per sample: a window's sums and mean direction, CPU time, " \
                    "%d rounds of %d windows", num("wind_rounds"), num("wind_windows")))
    columns("us", "over the host")
    row("host, hard-float, native", "wind.host.us", "", 1, 3)
    n = split(r["wind.targets"], targets, " ")
    for (i = 1; i <= n; i++) {
        t = targets[i]
        row(t ", " r["wind." t ".how"], "wind." t ".us", "wind." t ".ratio", 1, 3)
    }
    if (!n)
        line("router builds", "", "not built")
}

# The calls per pulse of both builds on kernel p against their targets, or
# "" when one is missing.
function calls_verdict(p, kind, sysfs_max, chardev_max, s, c) {
    s = p "sysfs.calls_" kind
    c = p "chardev.calls_" kind
    if (!has(s) || !has(c))
        return ""
    return num(s) <= sysfs_max && num(c) <= chardev_max ? "yes" : "NO"
}

# Chardev's frame on kernel p at least 5 times as fast as sysfs's in every
# pairing the two spreads allow; NO only when in none.
function faster_verdict(p, s, c) {
    s = p "sysfs.wind_frame"
    c = p "chardev.wind_frame"
    if (!has(s ".min") || !has(c ".min"))
        return ""
    if (r[c ".max"] * 5 <= r[s ".min"] + 0)
        return "yes"
    if (r[c ".min"] * 5 > r[s ".max"] + 0)
        return "NO"
    return "spread"
}

# One section a kernel of kernel.names, each after the first set beside the
# first, so that a kernel that makes the link dearer shows; one line for no
# kernel measured.
function kernel_sections(cpu, names, n, i) {
    cpu = has("kernel.cpu") ? r["kernel.cpu"] : "24Kc"
    if (!has("kernel.names")) {
        heading(sprintf("Real kernel (qemu-system-mips -cpu %s; emulated times: compare the ratios)",
                        cpu))
        line("measured", "", r["kernel.status"] ~ /^not run/ ? "not run" : "not built")
        return
    }
    n = split(r["kernel.names"], names, " ")
    for (i = 1; i <= n; i++)
        kernel_section(cpu, names[i], i > 1 ? names[1] : "")
}

function kernel_section(cpu, name, first, p, f, version, rounds, ops, i, n, b, k) {
    p = "kernel." name "."
    version = has(p "kernel") ? r[p "kernel"] : name
    sub(/^Linux /, "", version)
    rounds = has(p "rounds") ? sprintf("; line operations in %d rounds", num(p "rounds")) : ""
    heading(sprintf("Real kernel %s (qemu-system-mips -cpu %s, Linux %s; emulated times: compare " \
                    "the ratios)%s", name, cpu, version, rounds))
    columns("sysfs", "chardev")
    row("a bare system call (us), the same kernel", p "syscall", p "syscall", 1, 2)
    n = split("set get cycle", ops, " ")
    for (i = 1; i <= n; i++)
        row((ops[i] == "cycle" ? "cycle: a set, then a get" : ops[i]) " (us)",
            p "sysfs." ops[i], p "chardev." ops[i], 1, 1)
    # Medians only: one slow round of either (an interrupt) would stretch
    # bounds far past anything typical.
    for (i = 1; i <= n; i++) {
        per_call("calc." p "sysfs." ops[i], p "sysfs." ops[i], p)
        per_call("calc." p "chardev." ops[i], p "chardev." ops[i], p)
        row(ops[i] ", in bare system calls (medians)", "calc." p "sysfs." ops[i],
            "calc." p "chardev." ops[i], 1, 1)
    }
    row("system calls per sampled pulse", p "sysfs.calls_sampled", p "chardev.calls_sampled", 1,
        "c", "at most 9 and 3", calls_verdict(p, "sampled", 9, 3))
    row("system calls per unsampled pulse", p "sysfs.calls_unsampled",
        p "chardev.calls_unsampled", 1, "c", "at most 6 and 2", calls_verdict(p, "unsampled", 6, 2))
    row("wind frame (ms)", p "sysfs.wind_frame", p "chardev.wind_frame", 1, 2)
    bounds("calc." p "wind_speedup", p "sysfs.wind_frame", p "chardev.wind_frame")
    row("  sysfs / chardev (bounds)", "calc." p "wind_speedup", "", 1, 2, "at least 5",
        faster_verdict(p))
    row("hub frame, half period 10 us (ms)", p "sysfs.hub_frame", p "chardev.hub_frame", 1, 2)
    bounds("calc." p "hub_speedup", p "sysfs.hub_frame", p "chardev.hub_frame")
    row("  sysfs / chardev (bounds)", "calc." p "hub_speedup", "", 1, 2)
    if (first != "") {
        f = "kernel." first "."
        for (b = 1; b <= 2; b++) {
            k = b == 1 ? "sysfs" : "chardev"
            if (num("calc." f k ".cycle") > 0 && has("calc." p k ".cycle"))
                r["calc." p k ".cycle_over_first"] = r["calc." p k ".cycle"] / r["calc." f k ".cycle"]
            bounds("calc." p k ".wind_over_first", p k ".wind_frame", f k ".wind_frame")
        }
        row("cycle in bare calls, over " first "'s (medians)", "calc." p "sysfs.cycle_over_first",
            "calc." p "chardev.cycle_over_first", 1, 2)
        row("wind frame, over " first "'s (bounds)", "calc." p "sysfs.wind_over_first",
            "calc." p "chardev.wind_over_first", 1, 2)
    }
    if (has(p "status"))
        printf "  %s\n", r[p "status"]
    for (b = 1; b <= 2; b++) {
        k = b == 1 ? "sysfs" : "chardev"
        if (has(p k ".status"))
            printf "  %s: %s\n", k, r[p k ".status"]
    }
}

# Operations outside any pulse: the attribution of the counts is off.
function stray(v) {
    if (num("sys." v ".stray_operations"))
        printf "Note: %s made %d line operations outside any pulse\n", v,
            num("sys." v ".stray_operations")
}

# The first cycle or report unlike the usual ones: "place calls names...".
function odd(what, k, f) {
    if (!has(k))
        return
    split(r[k], f, " ")
    printf "%s %d (%d calls): %s\n", what, f[1], f[2], substr(r[k], length(f[1] f[2]) + 3)
}

END {
    if (has("date"))
        printf "Benchmarks, %s; %s\n", r["date"], r["machine"]
    if (has("load_start"))
        printf "Load average %s at the start, %s at the end\n", r["load_start"], r["load_end"]
    print ""
    syscall_section()
    lines_section()
    cycle_section()
    if (has("frame.hubpoll.100.built.slack")) {
        host_columns()
        heading("hubpoll timer slack")
        row("timer slack at its sleeps (ns)", "frame.hubpoll.100.built.slack",
            "frame.hubpoll-textbook.100.built.slack", 1, "s", "1 (asks for it)",
            r["frame.hubpoll.100.built.slack"] == "1" ? "yes" : "NO")
    }
    hub_section(100)
    hub_section(10)
    size_section()
    wind_section()
    kernel_sections()

    if (has("sys.gustlink.cycle_common")) {
        printf "\nA wind cycle besides its pulses: %s\n", r["sys.gustlink.cycle_common"]
        printf "A report cycle: %s\n", r["sys.gustlink.report_common"]
        odd("Unlike the rest, wind cycle", "sys.gustlink.cycle_odd")
        odd("Unlike the rest, report", "sys.gustlink.report_odd")
    }
    split("gustlink gustlink-textbook hubpoll hubpoll-textbook", variants, " ")
    for (i = 1; i <= 4; i++)
        stray(variants[i])
    if (has("kernel.status"))
        printf "Real kernel: %s\n", r["kernel.status"]
}
