#!/bin/sh
# A stand-in for a program under test: clocks N bits out of its board and
# prints each one ("bit K V"), written also to a new file /tmp/bitK. A failed
# open of a value file is told once per run of failures ("clock missing",
# "data missing"); with PAUSE (seconds) the stand-in waits that long after
# each, with 0 it tries again at once.
#
#   reader.sh N [PAUSE [CLOCK DATA]]      (lines 2 and 1 by default)
n=$1 pause=${2:-0}
gpio=/sys/class/gpio/gpio
clock=$gpio${3:-2}/value data=$gpio${4:-1}/value
k=0 clock_lost= data_lost=

failed() { # line
    eval "lost=\$${1}_lost"
    [ -n "$lost" ] || echo "$1 missing"
    eval "${1}_lost=1"
    [ "$pause" = 0 ] || sleep "$pause"
}

set_clock() { # level
    if { echo "$1" >"$clock"; } 2>/dev/null; then clock_lost=; else failed clock; fi
}

while [ $k -lt "$n" ]; do
    set_clock 0
    if { read -r v <"$data"; } 2>/dev/null; then
        data_lost=
        k=$((k + 1))
        echo "bit $k $v"
        { echo "$v" >/tmp/bit$k; } 2>/dev/null || echo "write $k failed"
    else
        failed data
    fi
    set_clock 1
done
