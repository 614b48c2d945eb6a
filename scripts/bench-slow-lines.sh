#!/usr/bin/env bash
# How long a good reading takes on a slow line, measured over a pseudo-terminal: p06-sim
# serves a good unit with the line options given, and p06-read --fast --json reads it N times.
# Prints how many readings ended "read" with the unit's values, and the mean, shortest and
# longest elapsedMs. A figure for notes and the README, not a test: nothing here fails on time.
#
#   scripts/bench-slow-lines.sh <build dir> <readings> [p06-sim line options...]
#   scripts/bench-slow-lines.sh build 200 --latency-timer 50
#   scripts/bench-slow-lines.sh build 200 --answer-delay 50-300
#   READER=old/cli/p06-read scripts/bench-slow-lines.sh build 200 --latency-timer 50
set -uo pipefail
# shellcheck source=scripts/common.sh
. "$(dirname "$0")/common.sh"

build=${1:?usage: scripts/bench-slow-lines.sh <build dir> <readings> [p06-sim options...]}
readings=${2:?usage: scripts/bench-slow-lines.sh <build dir> <readings> [p06-sim options...]}
shift 2
sim=$build/sim/p06-sim
reader=${READER:-$build/cli/p06-read}  # READER: another build's reader, to compare
com=${COM:-9}  # COM: another number, to run two at once
unit=(--serial 2882343476 --circuit 171 --software 205.239)
want='"serialNumber": 2882343476, "circuitVersion": 171, "softwareVersion": "205.239"'

for program in "$sim" "$reader"; do
    [[ -x $program ]] || { echo "bench: $program is missing; build first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlor-bench.XXXXXX")
sim_pid=
stop() {
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

export XDG_CONFIG_HOME=$work
ports=$work/quenlor/ports
mkdir -p "$ports"
"$sim" --com "$com" --ports-dir "$ports" "${unit[@]}" "$@" >"$work/sim.log" 2>&1 &
sim_pid=$!
await_path "$ports/COM$com" || { echo "bench: p06-sim did not start" >&2; cat "$work/sim.log" >&2; exit 1; }

good=0
times=()
for ((i = 1; i <= readings; i++)); do
    record=$("$reader" --port "$com" --fast --json --wait 5 2>>"$work/reader.log")
    if [[ $record == *'"result": "read"'* && $record == *"$want"* ]]; then
        good=$((good + 1))
    else
        echo "bench: reading $i: $record" >&2
    fi
    ms=${record##*\"elapsedMs\": }
    times+=("${ms%%,*}")
done

printf '%s\n' "${times[@]}" | awk -v good="$good" -v n="$readings" -v line="$*" '
    { sum += $1; if (NR == 1 || $1 < lo) lo = $1; if ($1 > hi) hi = $1 }
    END { printf "%s: %d of %d read right; elapsedMs mean %.0f, shortest %d, longest %d\n",
                 (line == "" ? "ideal line" : line), good, n, sum / NR, lo, hi }'
