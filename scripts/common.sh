# What the test scripts share; sourced, never run:
#   phase NAME, finish_phase, print_timings   the stage lines: "== NAME" as a stage starts,
#                                             "== NAME: 12.3 s" as it ends, and the table
#                                             of their times
#   await_sim_device LOG                      the pseudo-terminal p06-sim serves, from the
#                                             line it prints on LOG once it is ready
#   await_path PATH                           waits for PATH to exist (a simulator's alias)
#   new_wine_prefix RUN LOG [COMn=DEVICE]...  makes the Wine prefix $WINEPREFIX says, as a
#                                             bench PC's Windows 10, its COM ports those
#                                             pseudo-terminals; each Wine command through
#                                             RUN (run_here, or a function that runs it as
#                                             another user)
# Each wait tries again for a few seconds and returns non-zero when it gives up: it never
# ends a script under errexit on a try that comes too early.

SCRIPT_START=$EPOCHREALTIME
PHASE_START=$EPOCHREALTIME
PHASE_NAME=""
TIMINGS=()

seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }

phase() {
    finish_phase
    PHASE_NAME=$1
    PHASE_START=$EPOCHREALTIME
    echo "== $PHASE_NAME"
}

finish_phase() {
    if [ -n "$PHASE_NAME" ]; then
        local took
        took=$(seconds_since "$PHASE_START")
        TIMINGS+=("$(printf '%-32s %6s s' "$PHASE_NAME" "$took")")
        echo "== $PHASE_NAME: $took s"
    fi
    PHASE_NAME=""
}

print_timings() {
    finish_phase
    echo "== Timings"
    local line
    for line in "${TIMINGS[@]}"; do echo "   $line"; done
    printf '   %-32s %6s s\n' "whole script" "$(seconds_since "$SCRIPT_START")"
}

await_sim_device() {
    local device="" deadline=$((SECONDS + 30))
    while [ "$SECONDS" -lt "$deadline" ]; do
        device=$(sed -n 's/^p06-sim: serving \([^ ]*\) .*/\1/p' "$1" 2>/dev/null) || true
        [ -z "$device" ] || { echo "$device"; return 0; }
        sleep 0.1
    done
    return 1
}

await_path() {
    local _
    for _ in $(seq 100); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

run_here() { "$@"; }

new_wine_prefix() {
    local run=$1 log=$2 port
    shift 2
    "$run" wineboot -i >"$log" 2>&1
    # Debian's Wine makes a new prefix say Windows 7, which the installer refuses.
    "$run" winecfg -v win10 >>"$log" 2>&1
    # Wine's own port table: at the next server start Wine makes dosdevices/comN point at
    # these pseudo-terminals and lists them in SERIALCOMM (COM7 as \Device\Serial6), as a
    # bench PC lists its ports.
    for port in "$@"; do
        "$run" wine reg add 'HKLM\Software\Wine\Ports' /v "${port%%=*}" /t REG_SZ \
            /d "${port#*=}" /f >>"$log" 2>&1
    done
}
