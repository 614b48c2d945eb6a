#!/usr/bin/env bash
# A production line for p06-read --repeat --fast, scored against what was on it: p06-sim plays
# N random presences (new units swapped in 0-5 s apart, the same unit back after 1-6 s, units
# of another type, units that leave in the middle of their reading, units that refuse) and
# says when each came and went; the records are then matched to the presences by identity
# and time. Prints the score; exits 1 when a presence that stayed the time the README states
# got no record or two, or a unit back after the stated absence was not recorded again.
# A figure for notes, not a test: it runs for about 8 s a presence.
#
#   scripts/soak-repeat.sh <build dir> [presences, default 300] [seed, default 1]
#   KEEP=1 scripts/soak-repeat.sh ...   keeps the run's folder, which --score scores again:
#   scripts/soak-repeat.sh --score <folder>
set -uo pipefail
# shellcheck source=scripts/common.sh
. "$(dirname "$0")/common.sh"

build=${1:?usage: scripts/soak-repeat.sh <build dir> [presences] [seed]}
count=${2:-300}
seed=${3:-1}
sim=$build/sim/p06-sim
reader=${READER:-$build/cli/p06-read}
com=${COM:-11}
# The README's figures for --fast: a unit swapped in is read once it stays 6 s (a refusing
# one 5 s); the same unit away 5 s or more is recorded again, less than 2 s is one presence;
# a refusing unit less than 8 s after another refusing unit left is taken for it.
stay_ms=6000 refusing_stay_ms=5000 again_ms=5000 merged_ms=2000
if [[ $build == --score ]]; then
    work=${2:?usage: scripts/soak-repeat.sh --score <folder>}
    count=0
fi

play() {
for program in "$sim" "$reader"; do
    [[ -x $program ]] || { echo "soak: $program is missing; build first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlor-soak.XXXXXX")
sim_pid= reader_pid=
stop() {
    for pid in $reader_pid $sim_pid; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    [[ -n ${KEEP:-} ]] && echo "soak: kept $work" >&2 || rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

# FROM_MS TO_MS SERIAL TYPE [refuse], then the kind and the gap before it, as comments.
awk -v n="$count" -v seed="$seed" 'BEGIN {
    srand(seed); t = 3000; serial = 500000; last = 0; lastKind = ""
    for (i = 1; i <= n; i++) {
        r = rand()
        kind = r < .40 ? "new" : r < .65 ? "back" : r < .75 ? "other-type" : r < .87 ? "leaves" : "refusing"
        if (kind == "back" && lastKind != "new" && lastKind != "back") kind = "new"
        gap = kind == "back" ? 1000 + int(rand() * 5000) : rand() < .3 ? 0 : int(rand() * 5000)
        # Two refusing units in a row cannot be told apart: the second comes 8 s after.
        if (kind == "refusing" && lastKind == "refusing" && gap < 8000) gap = 8000
        stay = kind == "leaves" ? 800 + int(rand() * 1200) : 1500 + int(rand() * 10500)
        t += gap
        s = kind == "back" ? last : ++serial
        printf "%d %d %d %s%s # %s %d\n", t, t + stay, s, kind == "other-type" ? "P07" : "P06",
               kind == "refusing" ? " refuse" : "", kind, gap
        if (kind != "other-type" && kind != "refusing") last = s
        lastKind = kind; t += stay
    }
}' >"$work/bench"
end_ms=$(awk 'END { print $2 }' "$work/bench")

export XDG_CONFIG_HOME=$work
ports=$work/quenlor/ports
mkdir -p "$ports"
"$sim" --com "$com" --ports-dir "$ports" --bench "$work/bench" >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
await_path "$ports/COM$com" || { echo "soak: p06-sim did not start" >&2; cat "$work/sim.log" >&2; exit 1; }
"$reader" --port "$com" --repeat --fast --json --lang en >"$work/records" 2>"$work/reader.log" &
reader_pid=$!
echo "soak: $count presences over $((end_ms / 60000)) min (seed $seed)" >&2
sleep $((end_ms / 1000 + 15))
kill -INT "$reader_pid"
wait "$reader_pid"
reader_pid=

}
[[ $count -eq 0 ]] || play

# Each record as: epoch-seconds type serial result.
while IFS= read -r record; do
    iso=$(sed -n 's/.*"time": "\([^"]*\)".*/\1/p' <<<"$record")
    type=$(sed -n 's/.*"type": "\([^"]*\)".*/\1/p' <<<"$record")
    serial=$(sed -n 's/^[^{]*{[^{]*"serialNumber": \([0-9]*\),.*/\1/p' <<<"$record")
    result=$(sed -n 's/.*"result": "\([^"]*\)".*/\1/p' <<<"$record")
    echo "$(date -d "$iso" +%s) ${type:--} ${serial:--} $result"
done <"$work/records" >"$work/records.txt"

# Presences from the simulator's own account, in wall-clock ms, joined with their kind.
grep -o 'bench [0-9]* presence [0-9]* .*' "$work/sim.log" >"$work/changes"
awk -v stay="$stay_ms" -v refusingStay="$refusing_stay_ms" -v again="$again_ms" \
    -v merged="$merged_ms" '
    FILENAME == ARGV[1] { kind[FNR] = $(NF - 1); gap[FNR] = $NF; next }
    FILENAME == ARGV[2] {
        p = $4; if ($NF == "present") from[p] = $2; else to[p] = $2
        serial[p] = $6; type[p] = $8; refusing[p] = ($9 == "refusing"); n = p > n ? p : n; next
    }
    { t[++m] = $1; rtype[m] = $2; rserial[m] = $3; result[m] = $4 }
    # A record is written once its reading ends: a unit read is still there, one cut short
    # is recorded after the time-outs of its silence.
    function fits(i, j,   late) {
        late = result[j] == "incomplete" ? 7 : result[j] == "refused" ? 4 : 2
        if (t[j] < int(from[i] / 1000) - 1 || t[j] > int(to[i] / 1000) + late) return 0
        if (result[j] == "refused") return refusing[i]
        if (refusing[i]) return 0
        if (rserial[j] != "-") return rserial[j] == serial[i] && rtype[j] == type[i]
        return rtype[j] == "-" || rtype[j] == type[i]
    }
    END {
        for (j = 1; j <= m; j++) {
            found = 0
            for (i = 1; i <= n && !found; i++) if (!matched[i] && fits(i, j)) found = i
            if (found) { matched[found] = 1; continue }
            for (i = 1; i <= n && !found; i++) if (matched[i] && fits(i, j)) found = i
            if (found) { doubled++; print "soak: a second record for presence " found ": " t[j] " " rserial[j] " " result[j] > "/dev/stderr" }
            else { spurious++; print "soak: a record of no presence: " t[j] " " rtype[j] " " rserial[j] " " result[j] > "/dev/stderr" }
        }
        for (i = 1; i <= n; i++) {
            lasted = to[i] - from[i]
            # A refusing unit less than 8 s after another left is taken for it (README),
            # unless a unit recorded came between.
            if (!refusing[i] && matched[i]) refusingGone = -8000
            if (refusing[i] && refusingGone > 0 && from[i] - refusingGone < 8000) {
                refusingGone = to[i]; continue
            }
            if (refusing[i]) refusingGone = to[i]
            need = refusing[i] ? refusingStay : stay
            if (kind[i] == "back" && gap[i] < merged) { short++; shortMerged += !matched[i]; continue }
            if (kind[i] == "back" && gap[i] < again) continue
            if (kind[i] == "back") { backs++; backsRecorded += matched[i] }
            if (lasted < need) continue
            required++
            if (matched[i]) once++
            else print "soak: presence " i " (" kind[i] ", serial " serial[i] ", " lasted " ms, after " gap[i] " ms) got no record" > "/dev/stderr"
        }
        printf "soak: %d presences, %d records; of the %d that stayed the stated time, %d recorded once; %d doubled, %d records of no presence\n", n, m, required, once, doubled, spurious
        printf "soak: the same unit back after %d ms or more: %d of %d recorded again; back within %d ms: %d of %d one presence\n", again, backsRecorded, backs, merged, shortMerged, short
        exit !(once == required && doubled == 0 && spurious == 0 && backsRecorded == backs)
    }' "$work/bench" "$work/changes" "$work/records.txt"
