# Sourced by the packaging tests: a folder of links to Debian's BusyBox, one
# for each applet OpenWrt builds by default (openwrt-applets.txt), to be the
# whole PATH of the router's scripts under test.
#
#   make_applets DIR     # exits 77 (skipped) where BusyBox is missing, but
#                        # fails under CI, where it must be there

make_applets() {
    local dir=$1 busybox have a
    busybox=$(command -v busybox) || {
        echo "busybox not found (scripts/deps busybox installs it)"
        if [ -n "${CI:-}" ]; then exit 1; fi
        exit 77
    }
    mkdir -p "$dir"
    have=" $("$busybox" --list | tr '\n' ' ') "
    for a in $(grep -v '^#' "$(dirname "${BASH_SOURCE[0]}")/openwrt-applets.txt"); do
        if [[ $have == *" $a "* ]]; then
            ln -sf "$busybox" "$dir/$a"
        elif [ "$a" = flock ]; then
            # Debian builds BusyBox without flock; util-linux's takes its
            # place. The scripts use only "flock -n FD", which both read alike.
            ln -sf "$(command -v flock)" "$dir/flock"
        fi
    done
    [ -x "$dir/flock" ] || {
        echo "no flock (util-linux) to stand in for BusyBox's"
        exit 1
    }
}

# Seconds since the epoch, to the microsecond.
now() {
    echo "$EPOCHREALTIME"
}

# within FROM TO SECONDS: whether TO - FROM < SECONDS.
within() {
    awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { exit !(b - a < s) }'
}
