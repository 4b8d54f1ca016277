#!/usr/bin/env bash
# Repeatable fits against their recorded results: every line of the table
# names a data file (relative to the repository, "../shared" being the
# shared data beside it), the fit runner's options and the runner's output
# for it without the times (outcome, sum of squares, parameters, standard
# errors and evaluations, in full precision).  Each file is fitted with
# --repeatable and must give that output exactly.
#
#   bench/fit_check.sh FIT_RUNNER TABLE            check (exit 1 on a change)
#   bench/fit_check.sh FIT_RUNNER TABLE --update   record the runner's output
#
# Files that are missing (no shared folder) are skipped.  A change to what
# a fit computes (a new optimiser stage, say) changes the table: record it
# anew with --update and say so in the commit.
set -u
if [ $# -lt 2 ] || [ ! -x "$1" ] || [ ! -r "$2" ]; then
    echo "usage: $0 FIT_RUNNER TABLE [--update]" >&2
    exit 2
fi
runner=$1 table=$2 update=${3:-}
root=$(cd "$(dirname "$0")/.." && pwd)

# The runner's output on one line, times left out.
fit_line() {
    local file=$1
    shift
    "$runner" --repeatable "$@" "$file" 2>/dev/null | grep -Ev '^(file|seconds|run_clock)=' | tr '\n' ' ' | sed 's/ $//'
}

status=0 checked=0 skipped=0
out=$(mktemp)
trap 'rm -f "$out"' EXIT
while IFS=$'\t' read -r file options expected; do
    case "$file" in '' | '#'*) printf '%s\n' "$file" >>"$out"; continue ;; esac
    if [ ! -r "$root/$file" ]; then
        skipped=$((skipped + 1))
        printf '%s\t%s\t%s\n' "$file" "$options" "$expected" >>"$out"
        continue
    fi
    # shellcheck disable=SC2086  # the options are words
    got=$(fit_line "$root/$file" $options)
    printf '%s\t%s\t%s\n' "$file" "$options" "$got" >>"$out"
    checked=$((checked + 1))
    if [ -z "$update" ] && [ "$got" != "$expected" ]; then
        echo "CHANGED: $file $options"
        echo "  expected: $expected"
        echo "  got:      $got"
        status=1
    fi
done <"$table"
if [ "$update" = --update ]; then
    cp "$out" "$table"
    echo "recorded $checked fits"
else
    echo "$checked fits checked, $skipped skipped"
fi
exit $status
