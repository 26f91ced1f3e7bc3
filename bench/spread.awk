# Reduces the figures of many rounds to their spread. Reads "key value"
# lines, one per round and figure, and prints "key.min", "key.median" and
# "key.max" for every key, in the order the keys first came. A value that is
# no number ("-": not seen in that round) is left out; a key with none at all
# prints nothing.
#
#   awk -f spread.awk ROUNDS

BEGIN { OFMT = "%.10g" }

$2 ~ /^-?[0-9]+\.?[0-9]*([eE][-+]?[0-9]+)?$/ {
    if (!($1 in n))
        order[++keys] = $1
    n[$1]++
    v[$1, n[$1]] = $2 + 0
}

END {
    for (k = 1; k <= keys; k++) {
        key = order[k]
        total = n[key]
        # Insertion sort: a few dozen rounds at most.
        for (i = 1; i <= total; i++) {
            x = v[key, i]
            for (j = i - 1; j >= 1 && s[j] > x; j--)
                s[j + 1] = s[j]
            s[j + 1] = x
        }
        print key ".min", s[1]
        print key ".median", total % 2 ? s[(total + 1) / 2] : (s[total / 2] + s[total / 2 + 1]) / 2
        print key ".max", s[total]
    }
}
