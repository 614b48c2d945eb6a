#!/usr/bin/env bash
# scripts/qt-for-windows.sh's own control flow, with a stand-in for cmake and a one-second
# progress tick: a configure slower than a tick, a failing build, and a stop signal. Each row
# gives the stand-in's behaviour, the exit status expected, and whether Qt ends up marked
# complete. No Qt is built.
set -uo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/qt-for-windows.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/qt-flow.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

cat >"$work/cmake" <<'STANDIN'
#!/usr/bin/env bash
# configure sleeps past a tick; --build prints ninja's steps or fails; --install fills the prefix.
case $1 in
-G) sleep 2.5 ;;
--build) [ "$FLOW" = build-fails ] && { echo "ninja: build stopped"; exit 1; }
    echo "[1/2] cc a"; echo "[2/2] link" ;;
--install) prefix=$(sed -n 's/^prefix=//p' "$FLOW_DIR/prefix")
    mkdir -p "$prefix/bin" "$prefix/plugins/platforms"
    for f in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll \
        plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll \
        plugins/platforms/qminimal.dll; do : >"$prefix/$f"; done ;;
esac
STANDIN
chmod +x "$work/cmake"

# run FLOW: the script in a process group of its own, against an empty cache whose source
# tree is already there; "stopped" sends SIGTERM to the group during configure.
run() {
    local flow=$1 cache=$work/$1 version
    version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/^[0-9]*://; s/+.*//; s/-.*//')
    mkdir -p "$cache/qt-$version-work/qtbase-everywhere-src-$version"
    : >"$cache/qt-$version-work/qtbase-everywhere-src-$version/CMakeLists.txt"
    # The stand-in learns the prefix from the script's own configure line, through this file.
    QUENLOR_CACHE=$cache QT_FOR_WINDOWS_TICK=1 QT_FOR_WINDOWS_CMAKE=$work/cmake FLOW=$flow \
        FLOW_DIR=$cache setsid bash -c 'exec "$0"' "$script" >"$cache/out" 2>"$cache/err" &
    local pid=$!
    for _ in $(seq 50); do
        prefix=$(ls -d "$cache"/qt-*-mingw-* 2>/dev/null | grep -v '\.lock$' | head -n 1)
        [ -z "$prefix" ] && prefix=$(grep -o '/[^ ]*mingw-[0-9a-f]*' "$cache/err" | head -n 1)
        [ -n "$prefix" ] && break
        sleep 0.1
    done
    echo "prefix=$prefix" >"$cache/prefix"
    if [ "$flow" = stopped ]; then sleep 1.5; kill -TERM -- "-$pid"; fi
    wait "$pid"
    echo $?
}

# flow | exit status (a stop may end configure first, then the script) | complete
rows=(
    "slow-configure|0|yes"
    "build-fails|1|no"
    "stopped|nonzero|no"
)
for row in "${rows[@]}"; do
    IFS='|' read -r flow want_status want_complete <<<"$row"
    status=$(run "$flow")
    cache=$work/$flow
    complete=no
    ls "$cache"/qt-*-mingw-*/.complete >/dev/null 2>&1 && complete=yes
    # The reporter must be gone with the script: its stderr stops growing.
    before=$(wc -l <"$cache/err")
    sleep 1.5
    after=$(wc -l <"$cache/err")
    [ "$want_status" = nonzero ] && [ "$status" != 0 ] && want_status=$status
    if [ "$status" != "$want_status" ] || [ "$complete" != "$want_complete" ] ||
        [ "$before" != "$after" ]; then
        echo "FAIL $flow: exit $status (want $want_status), complete $complete" \
            "(want $want_complete), reporter lines $before then $after"
        sed 's/^/  | /' "$cache/err"
        failures=$((failures + 1))
    else
        echo "ok   $flow: exit $status, complete $complete"
    fi
done
grep -q 'configuring after 1 min' "$work/slow-configure/err" ||
    { echo "FAIL slow-configure: no progress line during configure"; failures=$((failures + 1)); }
[ "$(tail -n 1 "$work/slow-configure/out")" = "$(sed -n 's/^prefix=//p' "$work/slow-configure/prefix")" ] ||
    { echo "FAIL slow-configure: the last line is not the prefix"; failures=$((failures + 1)); }
exit $((failures > 0))
