# Shared part of the NIST StRD benchmark scripts (sourced, not run).
#
#   nist_setup "$@"   reads FIT_RUNNER [DATA_DIR] [runner options] and sets
#                     runner, data, certified, limit and runner_options
#   nist_fit FILE CERTIFIED [DEVIATIONS]
#                     fits FILE with --repeatable (so every run of the table
#                     gives the same numbers) and prints the line of
#                     nist_fit.awk; the Lanczos fits are compared up to an
#                     exchange of their three exponential terms
#
# DATA_DIR defaults to the shared data beside the repository
# (../shared/data/nist-strd/dat). Each fit may take at most
# NIST_FIT_TIMEOUT seconds (default 600).

nist_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

nist_setup() {
    if [ $# -lt 1 ] || [ ! -x "$1" ]; then
        echo "usage: $0 FIT_RUNNER [DATA_DIR] [runner options]" >&2
        exit 2
    fi
    runner=$1
    shift
    data="$nist_here/../../shared/data/nist-strd/dat"
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
    runner_options=("$@")
}

nist_fit() {
    local out status exchangeable=0
    out=$(timeout "$limit" "$runner" --repeatable "${runner_options[@]}" "$1" 2>/dev/null)
    status=$?
    [ $status -eq 124 ] && out="outcome=timeout"
    # The three exponential terms of the Lanczos models are interchangeable.
    case $(basename "$1") in Lanczos*) exchangeable=2 ;; esac
    printf '%s\n' "$out" | awk -v cert="$2" -v sd="${3:-}" -v exchangeable=$exchangeable -f "$nist_here/nist_fit.awk"
}
