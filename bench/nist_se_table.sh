#!/usr/bin/env bash
# Standard errors against NIST: fits start 2 of every NIST StRD problem
# with the headless fit runner and compares the standard errors it prints
# (se1..sek) with the certified standard deviations of the parameters (the
# column "Standard Deviation" of the NIST files NAME.dat beside DATA_DIR).
# Per problem: the LRE of the parameters, the largest relative difference of
# a standard error from its certified value and the parameter where it
# lies, and "ok" when that difference is at most 1e-3 on a fit with
# LRE >= 6; then how many such fits passed.
#
#   bench/nist_se_table.sh FIT_RUNNER [DATA_DIR] [runner options]
#
# NIST_STARTS="s1 s2" compares both starts. DATA_DIR and the time limit:
# see bench/nist_common.sh.
set -u
. "$(dirname "$0")/nist_common.sh"
nist_setup "$@"

# The certified standard deviations of a problem: the last number of each
# line "bk = start1 start2 value deviation" of its NIST file.
deviations() {
    awk '$1 ~ /^b[0-9]+$/ && $2 == "=" && NF >= 6 { printf "%s ", $NF }' "$data/../$1.dat"
}

printf '%-10s %-5s %6s %12s %4s  %s\n' problem start LRE "SE error" at verdict
fitted=0; passed=0
while IFS=$'\t' read -r name difficulty npar nrows rss params; do
    [ "$name" = name ] && continue
    [ -r "$data/../$name.dat" ] || continue
    sd=$(deviations "$name")
    for start in ${NIST_STARTS:-s2}; do
        file="$data/$name-$start.DAT"
        [ -r "$file" ] || continue
        read -r lre _ _ _ outcome err at <<<"$(nist_fit "$file" "$params" "$sd")"
        verdict="-"
        if awk -v l="$lre" 'BEGIN { exit !(l >= 6) }'; then
            fitted=$((fitted + 1))
            verdict=off
            if awk -v e="$err" 'BEGIN { exit !(e != "-" && e + 0 <= 1e-3) }'; then
                verdict=ok
                passed=$((passed + 1))
            fi
        fi
        [ "$outcome" = fitted ] || verdict=$outcome
        printf '%-10s %-5s %6s %12s %4s  %s\n' "$name" "$start" "$lre" "$err" "$at" "$verdict"
    done
done <"$certified"
echo
echo "standard errors within 1e-3 of NIST: $passed of $fitted fits with LRE >= 6"
