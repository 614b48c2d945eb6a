#!/usr/bin/env bash
# Checks the Debian package that `make package` built, as a bench PC would take it: lintian,
# the desktop entry and the metainfo, the udev rule, then the package unpacked into a scratch
# folder (dpkg -x: nothing is installed on this machine): every program's --version,
# p06-read --list, and the unpacked quenlor reading p06-sim under Xvfb, clicked with xdotool.
#
#   scripts/test-package.sh <build dir>
set -euo pipefail

# The window's own coordinates of the main window's buttons (as TDlgLectureInformation lays
# them out): a point inside the read, port and quit buttons.
readonly kReadButton="322 20"
readonly kPortButton="322 96"
readonly kQuitButton="322 204"
readonly kMainTitle="Lecture des Information de l'appareil"
readonly kPortDialogTitle="Comfiguration du port"
readonly kCom=1

# The whole conversation of a reading of the simulator's default unit (serial number 4660,
# circuit version 3, software version 2.5) as p06-sim logs it, then the end byte twice more
# as quenlor closes the port on quitting.
readonly kConversation="in 80 out 81 in 86 out 35 in 84 out 30 in 84 out 33 in 84 out 30 \
in 84 out 33 in 84 out 36 in 84 in 89 in 37 in 38 out 33 in 84 out 34 in 84 in 89 in 37 in 39 \
out 31 in 84 out 32 in 84 in 89 in 37 in 41 out 30 in 84 out 30 in 84 in 89 in 37 in 42 out 30 \
in 84 out 30 in 84 in 87 out 30 in 84 out 33 in 84 in 89 in 37 in 45 out 30 in 84 out 32 in 84 \
in 89 in 37 in 46 out 30 in 84 out 35 in 84 in 9E in 38 in 31 out 84 out 00 in 04 out 04 \
in 04 out 04 in 04 out 04"

# Inside xvfb-run: quenlor from the unpacked package, its port dialog confirmed on the
# simulator's COM number, the read button clicked; ends when quenlor has quit.
if [[ ${1:-} == --window ]]; then
    quenlor=$2 sim_log=$3
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

build=${1:?usage: scripts/test-package.sh <build dir>}
failures=0
fail() {
    echo "test-package: FAILED: $*" >&2
    failures=$((failures + 1))
}

debs=("$build"/package/quenlor_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || {
    echo "test-package: expected one package in $build/package; run make package" >&2
    exit 1
}
deb=${debs[0]}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "test-package: $deb, $(stat -c %s "$deb") bytes"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "package version is not $version"

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlor-package.XXXXXX")
sim_pid=
stop() {
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

echo "== lintian"
lintian --fail-on error,warning --display-info "$deb" || fail "lintian"

root=$work/root
dpkg -x "$deb" "$root"
for file in usr/bin/quenlor usr/bin/p06-read usr/bin/p06-sim \
    usr/share/man/man1/{quenlor,p06-read,p06-sim}.1.gz usr/share/man/fr/man1/quenlor.1.gz \
    usr/share/applications/quenlor.desktop usr/share/icons/hicolor/scalable/apps/quenlor.svg \
    usr/share/icons/hicolor/48x48/apps/quenlor.png usr/lib/udev/rules.d/60-quenlor-cp210x.rules \
    usr/share/bash-completion/completions/{p06-read,p06-sim}; do
    [[ -s $root/$file ]] || fail "the package lacks /$file"
done

echo "== desktop entry and metainfo"
desktop-file-validate "$root/usr/share/applications/quenlor.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || fail "metainfo"

echo "== udev rule"
rules=$root/usr/lib/udev/rules.d/60-quenlor-cp210x.rules
if udevadm verify --help >/dev/null 2>&1; then
    udevadm verify --resolve-names=never "$rules" || fail "udevadm verify"
else
    # No udevadm verify before systemd 253: each key must be KEY[{name}]OP"value", and each
    # rule must select the adapter alone.
    item='^[[:space:]]*([A-Z]+)(\{[^}]*\})?(==|!=|\+=|-=|:=|=)"[^"]*"[[:space:]]*(,|$)'
    keys=' ACTION DEVPATH KERNEL KERNELS NAME SYMLINK SUBSYSTEM SUBSYSTEMS DRIVER DRIVERS ATTR
        ATTRS SYSCTL ENV CONST TAG TAGS TEST PROGRAM RESULT OWNER GROUP MODE SECLABEL RUN
        LABEL GOTO IMPORT OPTIONS '
    while IFS= read -r line; do
        [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
        rest=$line
        while [[ -n $rest && $rest =~ $item ]]; do
            [[ $keys == *" ${BASH_REMATCH[1]}"[[:space:]]* ]] || fail "udev key ${BASH_REMATCH[1]}"
            rest=${rest:${#BASH_REMATCH[0]}}
        done
        [[ -z $rest ]] || fail "udev rule does not parse at: $rest"
        for match in 'SUBSYSTEM=="tty"' 'ATTRS{idVendor}=="10c4"' 'ATTRS{idProduct}=="ea60"'; do
            [[ $line == *"$match"* ]] || fail "udev rule without $match: $line"
        done
    done <"$rules"
fi

echo "== the unpacked programs"
bin=$root/usr/bin
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
for program in quenlor p06-read p06-sim; do
    out=$("$bin/$program" --version 2>&1) && [[ $out == "$program $version" ]] ||
        fail "$program --version prints '$out'"
done
# Every option a program's help names can be completed.
for program in p06-read p06-sim; do
    for option in $("$bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        grep -qw -- "$option" "$root/usr/share/bash-completion/completions/$program" ||
            fail "no completion of $program $option"
    done
done

"$bin/p06-sim" --com "$kCom" --log >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
for ((tries = 0; tries < 100; tries++)); do
    [[ -s $work/sim.out ]] && break
    sleep 0.05
done
[[ -s $work/sim.out ]] || { cat "$work/sim.log" >&2; fail "p06-sim did not start"; exit 1; }
list=$("$bin/p06-read" --list) || fail "p06-read --list exits with $?"
echo "$list"
[[ $list == "* COM$kCom"* ]] || fail "p06-read --list does not choose the simulator's COM$kCom"

echo "== the unpacked quenlor reads p06-sim under Xvfb"
xvfb-run -a "$0" --window "$bin/quenlor" "$work/sim.log" || fail "quenlor exits with $?"
conversation=$(sed 's/^p06-sim: //' "$work/sim.log" | tr -s ' \n' ' ' | sed 's/ $//')
[[ $conversation == "$kConversation" ]] ||
    fail "the conversation of quenlor with p06-sim differs:"$'\n'"$conversation"

echo "test-package: $failures failure(s) in ${SECONDS} s"
((failures == 0))
