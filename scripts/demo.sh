#!/usr/bin/env bash
# Reads a simulated transmitter with the bench program.
#
#   scripts/demo.sh <build dir> [picture.png]
#
# p06-sim serves a sample unit (serial number 4660, circuit version 3, software version 2.5)
# on a pseudo-terminal registered as port COM7.
#
# With a display ($DISPLAY set), the alias goes in the usual ports folder
# (~/.config/quenlor/ports, or $XDG_CONFIG_HOME/quenlor/ports) and quenlor opens for you:
# choose COM7 with "Configuration du Port", then press "Lecture des informations". The
# simulator stops when quenlor closes.
#
# Without a display, everything runs in a private X server (Xvfb) with a configuration
# folder of its own: the demo driver builds the same windows as quenlor, picks COM7 in the
# port dialog, clicks the read button, saves a picture of the window after the reading
# (<build dir>/demo/main-window-reading.png unless given; docs/ holds the README's copies) and prints the text box; then it takes the
# pictures of the main window in French and in English beside it.
set -euo pipefail

build=${1:?usage: scripts/demo.sh <build dir> [picture.png]}
picture=${2:-$build/demo/main-window-reading.png}
sim=$build/sim/p06-sim
quenlor=$build/app/quenlor
driver=$build/tests/gui/demo_driver
com=7

for program in "$sim" "$quenlor"; do
    [[ -x $program ]] || { echo "demo: $program is missing; build first (make demo)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlor-demo.XXXXXX")
sim_pid=
xvfb_pid=
app_pid=

# Stops what this script started, by process id, and removes its temporary folder.
stop() {
    local pid
    for pid in "$app_pid" "$sim_pid" "$xvfb_pid"; do
        [[ -n $pid ]] || continue
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    app_pid= sim_pid= xvfb_pid=
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

# Starts the simulator and waits for its one line, which names the pseudo-terminal.
start_sim() {
    "$sim" --serial 4660 --circuit 3 --software 2.5 --com "$com" >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    local tries=0
    until [[ -s $work/sim.out ]]; do
        if ! kill -0 "$sim_pid" 2>/dev/null || ((++tries > 100)); then
            echo "demo: p06-sim did not start:" >&2
            cat "$work/sim.err" >&2
            wait "$sim_pid" 2>/dev/null || true
            sim_pid=
            exit 1
        fi
        sleep 0.05
    done
    cat "$work/sim.out"
}

# Xvfb chooses a free display itself and writes its number, once it accepts clients, to the
# descriptor given by -displayfd.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" \
        >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local tries=0
    # (Xvfb writes the number and its newline in one write.)
    until grep -qx '[0-9][0-9]*' "$work/display"; do
        if ! kill -0 "$xvfb_pid" 2>/dev/null || ((++tries > 200)); then
            echo "demo: Xvfb did not start:" >&2
            cat "$work/xvfb.log" >&2
            exit 1
        fi
        sleep 0.05
    done
    export DISPLAY=:$(head -n 1 "$work/display")
}

if [[ -n ${DISPLAY:-} ]]; then
    start_sim
    echo "demo: in quenlor, choose COM$com with the port button, then press the read button."
    "$quenlor" &
    app_pid=$!
    wait "$app_pid" || true
    app_pid=
    exit 0
fi

[[ -x $driver ]] || { echo "demo: $driver is missing; build with the tests on" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "demo: Xvfb is missing (package xvfb)" >&2; exit 1; }
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$(dirname "$picture")"
mkdir -m 700 "$XDG_RUNTIME_DIR"
start_sim
start_xvfb
export QT_QPA_PLATFORM=xcb

echo "demo: reading the unit on COM$com"
"$driver" reading "$picture" "$com" &
app_pid=$!
status=0
wait "$app_pid" || status=$?
app_pid=
((status == 0)) || { echo "demo: the reading failed" >&2; exit 1; }
echo "demo: picture of the window after the reading: $picture"

pictures=$(dirname "$picture")
for language in fr en; do
    "$driver" window "$language" "$pictures/main-window-$language.png" &
    app_pid=$!
    wait "$app_pid"
    app_pid=
    echo "demo: picture of the main window ($language): $pictures/main-window-$language.png"
done
