#!/usr/bin/env bash
# Worker threads against one processor: every case is fitted with all the
# threads the runner chooses, on one thread (--threads 1, no worker) and
# pinned to one core (taskset), in three situations: one fit alone, four
# fits at once (pinned: each to its own core), and one fit while as many
# busy processes as cores run.  Each is run --repeat times (3), the three
# kinds in turn (each kind going first in its own rounds, so that none always
# follows another), and the median is printed: the wall and processor
# seconds of a fit (the mean of the four at once), and the targets as
# ratios: the threaded fit no slower than the pinned one (pinned/threads
# wall >= 1) and using at most 1.5 times its processor time, or more only
# where its wall time falls by more.  The range of each kind's wall times is
# printed too; a ratio below 1 whose two medians each lie within the other
# kind's range is a "tie", not a miss.  one/thr compares the threaded fit
# with the unpinned one on one thread: what the threads themselves gain or
# lose, apart from what pinning gives (beside busy processes the scheduler
# favours a pinned process, whatever it runs).  Every fit must give the same
# bits as the first.
#
#   bench/thread_speed.sh RUNNER [--old OLD_RUNNER] [--level N] [--cases LIST] [--situations LIST] [--repeat N]
#
# Cases (default "w1 w4 linear"): w1 and w4 bench/Large1000.DAT at
# weightings 1 and 4, linear its first 300 rows with Y=P1*X1+P2*X2+P3*X3+P4
# at weighting 1.  Situations (default "alone four busy").  With --old, the
# old runner (a single-threaded build) also fits each case alone, and the
# speed of the threaded fit over it is printed (target for w1: 3.5).  A fit
# of Large1000.DAT at weighting 4 takes minutes: leave w4 out for a short run.
# Exit code 1 when a fit differs.
set -u
usage() {
    echo "usage: $0 RUNNER [--old OLD_RUNNER] [--level N] [--cases LIST] [--situations LIST] [--repeat N]" >&2
    exit 2
}
[ $# -ge 1 ] && [ -x "$1" ] || usage
runner=$1
shift
old="" level=2 cases="w1 w4 linear" situations="alone four busy" repeat=3
while [ $# -ge 2 ]; do
    case $1 in
        --old) old=$2 ;;
        --level) level=$2 ;;
        --cases) cases=$2 ;;
        --situations) situations=$2 ;;
        --repeat) repeat=$2 ;;
        *) usage ;;
    esac
    shift 2
done
[ $# -eq 0 ] || usage
here=$(cd "$(dirname "$0")" && pwd)
cores=$(nproc)
work=$(mktemp -d)
busy=()
stop_busy() {
    for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${busy[@]}"; do wait "$pid" 2>/dev/null; done
    busy=()
}
trap 'stop_busy; rm -rf "$work"' EXIT

# The first 300 rows of the large table with a linear model.
awk 'NR == 1 { print "Y=P1*X1+P2*X2+P3*X3+P4"; next }
     NR == 2 { print "1.0  1.0  1.0  1.0   !<-- Initial parameter values"; next }
     NR == 3 { print "-1e+06  -1e+06  -1e+06  -1e+06   !<-- Lower limits of parameters"; next }
     NR == 4 { print "1e+06  1e+06  1e+06  1e+06   !<-- Upper limits of parameters"; next }
     NR == 5 { print "TRUE  TRUE  TRUE  TRUE   !<-- Masked parameters = FALSE"; next }
     NR <= 305 { print }
     END { print "END     !<-- Enter END TO EXIT" }' "$here/Large1000.DAT" >"$work/Linear300.DAT"

case_file() { [ "$1" = linear ] && echo "$work/Linear300.DAT" || echo "$here/Large1000.DAT"; }
case_weight() { [ "$1" = w4 ] && echo 4 || echo 1; }

status=0
# fit NAME RUNNER CASE [RUNNER OPTION...] [-- taskset -c CORE]: one fit in
# the background; its results go to NAME, "wall user system" seconds to
# NAME.time, to the millisecond (a 10 ms step is almost 2% of the linear
# case's half second).
fit() {
    local name=$1 run=$2 c=$3 options=()
    shift 3
    while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    (
        TIMEFORMAT='%3R %3U %3S'
        { time "$@" "$run" "${options[@]}" --repeatable --level "$level" --weight "$(case_weight "$c")" \
            "$(case_file "$c")" >"$work/$name" 2>/dev/null; } 2>"$work/$name.time"
    ) &
}
# fit_kind NAME CASE MODE CORE: one fit of the kind MODE (threads, one or
# pinned to CORE).
fit_kind() {
    case $3 in
        threads) fit "$1" "$runner" "$2" ;;
        one) fit "$1" "$runner" "$2" --threads 1 ;;
        pinned) fit "$1" "$runner" "$2" -- taskset -c "$4" ;;
    esac
}
# Checks the results of the fits named NAME.* against the case's first fit.
check() {
    local name=$1 reference=$2 f
    for f in "$work/$name".*.time; do
        if ! diff <(grep -Ev '^(seconds|run_clock)=' "${f%.time}") <(grep -Ev '^(seconds|run_clock)=' "$reference") >/dev/null; then
            echo "fit ${f%.time} DIFFERS from the first fit of its case" >&2
            status=1
        fi
    done
}
# One situation of a case, run repeat times with the three kinds in turn,
# the first kind moving on by one each round: sets result to the median
# "wall cpu" and the wall range of the threaded, the one-thread and the
# pinned fits.
situation() {
    local c=$1 s=$2 mode i r k
    local kinds=(threads one pinned)
    local -A runs=([threads]="" [one]="" [pinned]="")
    for ((r = 0; r < repeat; r++)); do
        for ((k = 0; k < 3; k++)); do
            mode=${kinds[$(((r + k) % 3))]}
            rm -f "$work/$c.$s.$mode".*
            case $s in
                alone | busy)
                    if [ "$s" = busy ]; then
                        for ((i = 0; i < cores; i++)); do
                            (while :; do :; done) &
                            busy+=($!)
                        done
                    fi
                    fit_kind "$c.$s.$mode.0" "$c" $mode 0
                    wait "$!"
                    stop_busy
                    ;;
                four)
                    for i in 0 1 2 3; do fit_kind "$c.$s.$mode.$i" "$c" $mode $((i % cores)); done
                    wait
                    ;;
            esac
            [ -f "$work/$c.first" ] || cp "$work/$c.$s.$mode.0" "$work/$c.first"
            check "$c.$s.$mode" "$work/$c.first"
            runs[$mode]+="$(cat "$work/$c.$s.$mode".*.time | awk '{ wall += $1; cpu += $2 + $3; n++ } END { printf "%.3f %.3f", wall / n, cpu / n }')"$'\n'
        done
    done
    result=""
    for mode in "${kinds[@]}"; do
        result+="$(printf '%s' "${runs[$mode]}" | sort -n -k1,1 |
            awk '{ wall[NR] = $1; cpu[NR] = $2 } END { m = int((NR + 1) / 2); printf "%.3f %.3f %.3f %.3f ", wall[m], cpu[m], wall[1], wall[NR] }')"
    done
}

echo "runner $runner, level $level, $cores cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"
printf '%-7s %-6s %9s %9s %9s %9s %9s %12s %11s %8s %15s %15s  %s\n' case with threads_s cpu_s one_s pinned_s cpu_s pinned/thr cpu_ratio one/thr threads_range pinned_range target
declare -A alone_wall=()
for c in $cases; do
    for s in $situations; do
        situation "$c" "$s"
        read -r tw tc tlo thi one_w _ _ _ pw pc plo phi <<<"$result"
        [ "$s" = alone ] && alone_wall[$c]=$tw
        awk -v c="$c" -v s="$s" -v tw="$tw" -v tc="$tc" -v one_w="$one_w" -v pw="$pw" -v pc="$pc" \
            -v tlo="$tlo" -v thi="$thi" -v plo="$plo" -v phi="$phi" 'BEGIN {
            speed = tw > 0 ? pw / tw : 0
            cpu = pc > 0 ? tc / pc : 0
            own = tw > 0 ? one_w / tw : 0
            frugal = cpu <= 1.5 || cpu <= speed
            # Slower only when the threaded median lies above every pinned
            # fit or the pinned median below every threaded one: within both
            # spreads the two are a tie, which run again may turn either way.
            tie = tw <= phi && pw >= tlo
            met = !frugal ? "MISSED" : speed >= 1 ? "met" : tie ? "tie" : "MISSED"
            printf "%-7s %-6s %9.3f %9.3f %9.3f %9.3f %9.3f %12.2f %11.2f %8.2f %15s %15s  %s\n", c, s, tw, tc, one_w, pw, pc, speed, cpu,
                own, sprintf("%.3f-%.3f", tlo, thi), sprintf("%.3f-%.3f", plo, phi), met
        }'
    done
    if [ -n "$old" ]; then
        for ((r = 0; r < repeat; r++)); do
            fit "$c.old.$r" "$old" "$c"
            wait "$!"
        done
        read -r ow oc <<<"$(cat "$work/$c.old".*.time | awk '{ print $1, $2 + $3 }' | sort -n -k1,1 |
            awk '{ wall[NR] = $1; cpu[NR] = $2 } END { m = int((NR + 1) / 2); printf "%.3f %.3f", wall[m], cpu[m] }')"
        tw=${alone_wall[$c]:-0}
        awk -v c="$c" -v ow="$ow" -v oc="$oc" -v tw="$tw" 'BEGIN {
            speed = tw > 0 ? ow / tw : 0
            target = c != "w1" ? "" : speed >= 3.5 ? "met (3.5)" : "MISSED (3.5)"
            printf "%-7s %-6s %9s %9s %9s %9.3f %9.3f %12s %11s %8s %15s %15s  old/threads alone %.2f %s\n", c, "old", "", "", "", ow, oc, "", "", "", "", "", speed, target
        }'
    fi
done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
exit $status
