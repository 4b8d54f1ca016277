#!/usr/bin/env bash
# NIST StRD nonlinear regression table: fits start 1 and start 2 of every
# problem with the headless fit runner and prints, per problem and start,
# the log relative error (LRE) of the fitted parameters against the
# certified values (the least over the parameters, capped at 11; 0 when the
# run did not fit), the sum of squares, the objective evaluations and the
# time; then how many fits reached 4 and 6 correct digits.
#
#   bench/nist_table.sh FIT_RUNNER [DATA_DIR] [runner options, e.g. --level 3]
#
# DATA_DIR defaults to the shared data beside the repository
# (../shared/data/nist-strd/dat). Each fit may take at most
# NIST_FIT_TIMEOUT seconds (default 600).
set -u

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 FIT_RUNNER [DATA_DIR] [runner options]" >&2
    exit 2
fi
runner=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
data="$here/../../shared/data/nist-strd/dat"
if [ $# -ge 1 ] && [ -d "$1" ]; then
    data=$1
    shift
fi
certified="$data/certified.tsv"
if [ ! -r "$certified" ]; then
    echo "$0: no $certified" >&2
    exit 2
fi
limit=${NIST_FIT_TIMEOUT:-600}

printf '%-10s %-5s %6s %18s %12s %9s  %s\n' problem start LRE ssqr evaluations seconds outcome
runs=0; four=0; six=0
while IFS=$'\t' read -r name difficulty npar nrows rss params; do
    [ "$name" = name ] && continue
    for start in s1 s2; do
        file="$data/$name-$start.DAT"
        [ -r "$file" ] || continue
        out=$(timeout "$limit" "$runner" "$@" "$file" 2>/dev/null)
        status=$?
        [ $status -eq 124 ] && out="outcome=timeout"
        line=$(printf '%s\n' "$out" | awk -F= -v cert="$params" -v n="$npar" '
            { v[$1] = $2 }
            END {
                outcome = ("outcome" in v) ? v["outcome"] : "failed"
                lre = 0
                if (outcome == "fitted") {
                    lre = 11
                    m = split(cert, c, " ")
                    for (j = 1; j <= m; j++) {
                        key = "p" j
                        if (!(key in v)) { lre = 0; break }
                        d = v[key] - c[j]; if (d < 0) d = -d
                        r = c[j]; if (r < 0) r = -r
                        e = (d == 0) ? 11 : (r == 0 ? -log(d) / log(10) : -log(d / r) / log(10))
                        if (e > 11) e = 11
                        if (e < 0) e = 0
                        if (e < lre) lre = e
                    }
                }
                printf "%.1f %s %s %s %s", lre, ("ssqr" in v) ? v["ssqr"] : "-", \
                    ("evaluations" in v) ? v["evaluations"] : "-", ("seconds" in v) ? v["seconds"] : "-", outcome
            }')
        read -r lre ssqr evals seconds outcome <<<"$line"
        printf '%-10s %-5s %6s %18s %12s %9s  %s\n' "$name" "$start" "$lre" "$ssqr" "$evals" "$seconds" "$outcome"
        runs=$((runs + 1))
        awk -v l="$lre" 'BEGIN { exit !(l >= 4) }' && four=$((four + 1))
        awk -v l="$lre" 'BEGIN { exit !(l >= 6) }' && six=$((six + 1))
    done
done <"$certified"
echo
echo "fits with LRE >= 4: $four of $runs"
echo "fits with LRE >= 6: $six of $runs"
