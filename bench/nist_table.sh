#!/usr/bin/env bash
# NIST StRD nonlinear regression table: fits start 1 and start 2 of every
# problem with the headless fit runner and prints, per problem and start,
# the log relative error (LRE) of the fitted parameters against the
# certified values (the least over the parameters, capped at 11; 0 when the
# run did not fit), the sum of squares, the objective evaluations and the
# time; then how many fits reached 4 and 6 correct digits, and the total
# time.
#
# The Lanczos models are sums of three exponential terms P1*EXP(-P2*X1),
# P3*EXP(-P4*X1) and P5*EXP(-P6*X1) that can trade places: a fit that reaches
# the certified sum of squares with its terms in another order is right, so
# their parameters are compared up to an exchange of the terms (the order of
# the terms that gives the best LRE).
#
#   bench/nist_table.sh FIT_RUNNER [DATA_DIR] [runner options, e.g. --level 3]
#
# The fits run with --repeatable: the table is the same from run to run.
# DATA_DIR and the time limit: see bench/nist_common.sh.
set -u
. "$(dirname "$0")/nist_common.sh"
nist_setup "$@"

printf '%-10s %-5s %6s %18s %12s %9s  %s\n' problem start LRE ssqr evaluations seconds outcome
runs=0; four=0; six=0; total=0
while IFS=$'\t' read -r name difficulty npar nrows rss params; do
    [ "$name" = name ] && continue
    for start in s1 s2; do
        file="$data/$name-$start.DAT"
        [ -r "$file" ] || continue
        read -r lre ssqr evals seconds outcome _ <<<"$(nist_fit "$file" "$params")"
        printf '%-10s %-5s %6s %18s %12s %9s  %s\n' "$name" "$start" "$lre" "$ssqr" "$evals" "$seconds" "$outcome"
        runs=$((runs + 1))
        total=$(awk -v t="$total" -v s="$seconds" 'BEGIN { printf "%.3f", t + ((s == "-") ? 0 : s) }')
        awk -v l="$lre" 'BEGIN { exit !(l >= 4) }' && four=$((four + 1))
        awk -v l="$lre" 'BEGIN { exit !(l >= 6) }' && six=$((six + 1))
    done
done <"$certified"
echo
echo "fits with LRE >= 4: $four of $runs"
echo "fits with LRE >= 6: $six of $runs"
echo "total seconds: $total"
