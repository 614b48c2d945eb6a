#!/usr/bin/env bash
# The unpacked quenlor under Xvfb, for scripts/test-package.sh (run by xvfb-run):
#   --window QUENLOR SIM_LOG WM_CLASS   its window's icon and class checked, its port dialog
#                                       confirmed on the simulator's COM number, the read
#                                       button clicked; ends when quenlor has quit
#   --fallback-icon QUENLOR DATA_DIRS   with no icon theme, the window carries the drawing
#                                       built into the program
set -euo pipefail

# The window's own coordinates of the main window's buttons (as TDlgLectureInformation lays
# them out): a point inside the read, port and quit buttons.
readonly kReadButton="322 20"
readonly kPortButton="322 96"
readonly kQuitButton="322 204"
readonly kMainTitle="Lecture des Information de l'appareil"
readonly kPortDialogTitle="Comfiguration du port"

# Inside xvfb-run: quenlor from the unpacked package, its window's icon and class checked,
# its port dialog confirmed on the simulator's COM number, the read button clicked; ends when
# quenlor has quit.
if [[ ${1:-} == --window ]]; then
    quenlor=$2 sim_log=$3 wm_class=$4
    export QT_QPA_PLATFORM=xcb
    "$quenlor" &
    app_pid=$!
    trap 'kill "$app_pid" 2>/dev/null || true' EXIT
    # One search at a time: a window vanishing mid-search ends it with an X error.
    find_window() {
        local found tries
        for ((tries = 0; tries < 40; tries++)); do
            found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
            [ -n "$found" ] && { echo "$found"; return 0; }
            sleep 0.5
        done
        return 1
    }
    main=$(find_window "$kMainTitle")
    # The icon the window manager shows, and the class that matches the desktop entry.
    icon=$(xprop -id "$main" -notype _NET_WM_ICON)
    [[ $icon == *"Icon ("* ]] ||
        { echo "test-package: the main window has no _NET_WM_ICON: $icon" >&2; exit 1; }
    class=$(xprop -id "$main" -notype WM_CLASS)
    [[ $class == *"\"$wm_class\""* ]] ||
        { echo "test-package: $class does not match StartupWMClass=$wm_class" >&2; exit 1; }
    xdotool mousemove --window "$main" $kPortButton click 1
    dialog=$(find_window "$kPortDialogTitle")
    xdotool windowfocus --sync "$dialog" key Return
    xdotool mousemove --window "$main" $kReadButton click 1
    # The reading ends with the end of the conversation: 04 sent and answered.
    for ((tries = 0; tries < 300; tries++)); do
        tail -n 2 "$sim_log" | tr -s ' \n' ' ' | grep -q 'in 04 p06-sim: out 04' && break
        sleep 0.1
    done
    xdotool mousemove --window "$main" $kQuitButton click 1
    for ((tries = 0; tries < 100; tries++)); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app_pid" 2>/dev/null && { echo "test-package: quenlor did not quit" >&2; exit 1; }
    status=0
    wait "$app_pid" || status=$?
    trap - EXIT
    exit "$status"
fi


# Inside xvfb-run: quenlor started with no icon theme at all, so that its window carries the
# drawing built into it (Qt's SVG icon engine draws it).
if [[ ${1:-} == --fallback-icon ]]; then
    export QT_QPA_PLATFORM=xcb XDG_DATA_DIRS=$3
    "$2" &
    app_pid=$!
    trap 'kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true' EXIT
    for ((tries = 0; tries < 40; tries++)); do
        main=$(xdotool search --onlyvisible --name "$kMainTitle" 2>/dev/null | head -n 1) || true
        [[ -n $main ]] && break
        sleep 0.5
    done
    [[ -n $main ]] || { echo "test-package: no main window" >&2; exit 1; }
    icon=$(xprop -id "$main" -notype _NET_WM_ICON)
    [[ $icon == *"Icon ("* ]] || { echo "test-package: no built-in window icon: $icon" >&2; exit 1; }
    exit 0
fi

echo "package-desktop: unknown mode '${1:-}'" >&2
exit 2
