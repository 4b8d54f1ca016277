#!/usr/bin/env bash
# Side-by-side speed of two builds of the fit runner: every problem is fitted
# with --repeatable by both, the fits must agree bit for bit (outcome, sum of
# squares, parameters, standard errors, evaluations), and the times and
# their ratio are printed.
#
#   bench/fit_speed.sh BEFORE_RUNNER AFTER_RUNNER [--level N] [--weight N] [FILE.DAT ...]
#
# The level and weighting options are passed to both runners.
# Without files: Gauss1 start 1 of the NIST set and a generated 1000-row,
# 3-parameter exponential rise (written by exprise_file below).  Exit code 1
# when a fit differs.
set -u
if [ $# -lt 2 ] || [ ! -x "$1" ] || [ ! -x "$2" ]; then
    echo "usage: $0 BEFORE_RUNNER AFTER_RUNNER [FILE.DAT ...]" >&2
    exit 2
fi
before=$1 after=$2
shift 2
options=()
while [ $# -ge 2 ] && { [ "$1" = --level ] || [ "$1" = --weight ]; }; do
    options+=("$1" "$2")
    shift 2
done
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Y = P1*(1-EXP(-P2*X1))+P3 at X1 = 0.01 .. 10 with P = 100, 0.8, 5 and
# uniform noise in [-1, 1) from a Park-Miller generator (exact in awk's
# doubles), started at P = 50, 0.5, 1.
exprise_file() {
    awk 'BEGIN {
        print "Y=P1*(1-EXP(-P2*X1))+P3"
        print "50.0  0.5  1.0   ! start values"
        print "-1e+06  -1e+06  -1e+06   ! lower bounds"
        print "1e+06  1e+06  1e+06   ! upper bounds"
        print "T  T  T   ! all parameters fitted"
        s = 12345
        for (i = 1; i <= 1000; i++) {
            s = (s * 16807) % 2147483647
            x = i * 0.01
            printf "%.4f  %.6f\n", x, 100.0 * (1 - exp(-0.8 * x)) + 5.0 + (s / 2147483647 - 0.5) * 2.0
        }
        print "END" }' >"$1"
}

if [ $# -eq 0 ]; then
    exprise_file "$work/ExpRise1000.DAT"
    set -- "$here/../../shared/data/nist-strd/dat/Gauss1-s1.DAT" "$work/ExpRise1000.DAT"
fi

status=0
printf '%-22s %12s %10s %10s %8s  %s\n' problem evaluations before_s after_s ratio fits
for file in "$@"; do
    "$before" --repeatable "${options[@]}" "$file" >"$work/before" 2>/dev/null
    "$after" --repeatable "${options[@]}" "$file" >"$work/after" 2>/dev/null
    tb=$(awk -F= '$1 == "seconds" { print $2 }' "$work/before")
    ta=$(awk -F= '$1 == "seconds" { print $2 }' "$work/after")
    evals=$(awk -F= '$1 == "evaluations" { print $2 }' "$work/after")
    if diff <(grep -Ev '^(seconds|run_clock)=' "$work/before") <(grep -Ev '^(seconds|run_clock)=' "$work/after") >/dev/null; then
        same=identical
    else
        same=DIFFERENT
        status=1
    fi
    ratio=$(awk -v b="$tb" -v a="$ta" 'BEGIN { printf "%.2f", (a > 0) ? b / a : 0 }')
    printf '%-22s %12s %10s %10s %8s  %s\n' "$(basename "$file")" "$evals" "$tb" "$ta" "$ratio" "$same"
done
exit $status
