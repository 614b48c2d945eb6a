#!/usr/bin/env bash
# The Windows build and its tests under Wine:
#   1. cross-configure and build with mingw-w64 (cmake/mingw-w64.cmake) into the build folder;
#   2. make a throw-away Wine prefix and start a persistent Wine server in it;
#   3. put test values into HKLM\HARDWARE\DEVICEMAP\SERIALCOMM and serve an echoing
#      pseudo-terminal as a COM port, for the tests of the Win32 registry and serial line;
#   4. run unit_tests.exe;
#   5. (later) the integration run of p06-read.exe against p06-sim on COM7.
# Installs nothing: `make test-windows` installs the compilers and Wine first.
#
#   scripts/test-windows.sh [build folder, default build-win]
#
# Everything it starts (the Wine server, the echo helper) is stopped by its own process id or
# with `wineserver -k` for its own prefix, and the prefix is removed, also on failure.
set -euo pipefail

cd "$(dirname "$0")/.."
SOURCE_DIR=$PWD
BUILD_DIR=${1:-build-win}
JOBS=${JOBS:-$(nproc)}

# The echo port of the serial line tests; COM7 stays free for p06-sim's integration run.
ECHO_PORT=COM8

# ---------------------------------------------------------------------------------------------
# Timing of each phase.

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

# ---------------------------------------------------------------------------------------------
# What the script starts, and how it is taken down.

WORK_DIR=""        # temporary folder: the Wine prefix and the logs
SERVER_DIR_NAME="" # the Wine server's folder for that prefix
SERVER_PID=""      # the persistent Wine server
ECHO_PID=""        # the echoing pseudo-terminal

CLEANED_UP=""
cleanup() {
    local status=${1:-$?}
    [ -z "$CLEANED_UP" ] || exit "$status"
    CLEANED_UP=1
    set +e
    trap '' INT TERM
    if [ -n "$ECHO_PID" ]; then
        kill "$ECHO_PID" 2>/dev/null
        wait "$ECHO_PID" 2>/dev/null
    fi
    if [ -n "$WORK_DIR" ]; then
        # -k stops the server of this prefix only, with every Wine process attached to it
        # (also a wineboot cut short); it does nothing when no server runs.
        wineserver -k >/dev/null 2>&1
        if [ -n "$SERVER_PID" ]; then wait "$SERVER_PID" 2>/dev/null; fi
    fi
    if [ -n "$SERVER_DIR_NAME" ]; then
        # The server leaves its lock in a folder named after the prefix's device and inode,
        # under a temporary folder of its own (/tmp/wine-XXXXXX, or /tmp/.wine-<uid>).
        local dir
        for dir in "${TMPDIR:-/tmp}"/wine-*/"$SERVER_DIR_NAME" \
            "${TMPDIR:-/tmp}/.wine-$(id -u)/$SERVER_DIR_NAME"; do
            if [ -d "$dir" ]; then
                rm -rf "$dir"
                rmdir "$(dirname "$dir")" 2>/dev/null
            fi
        done
    fi
    if [ -n "$WORK_DIR" ]; then rm -rf "$WORK_DIR"; fi
    print_timings
    exit "$status"
}
trap cleanup EXIT
trap 'cleanup 130' INT
trap 'cleanup 143' TERM

# ---------------------------------------------------------------------------------------------
phase "Cross configure"
cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$SOURCE_DIR/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLOR_UI=OFF >/dev/null

phase "Cross build"
cmake --build "$BUILD_DIR" -j "$JOBS"
UNIT_TESTS=$BUILD_DIR/tests/unit/unit_tests.exe
[ -f "$UNIT_TESTS" ] || { echo "missing $UNIT_TESTS" >&2; exit 1; }

# ---------------------------------------------------------------------------------------------
phase "Wine prefix"
WORK_DIR=$(mktemp -d /tmp/quenlor-wine.XXXXXX)
export WINEPREFIX=$WORK_DIR/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir "$WINEPREFIX"
SERVER_DIR_NAME=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
wineboot -i >"$WORK_DIR/wineboot.log" 2>&1
wineserver -w

phase "Wine server"
start_server() {
    wineserver -p >"$WORK_DIR/wineserver.log" 2>&1 &
    SERVER_PID=$!
    # The first Wine process after a server start launches background services that inherit
    # its output: let them start here, with their output going nowhere.
    wine cmd /c exit >/dev/null 2>&1
}
start_server

# SERIALCOMM is volatile: Wine rebuilds it at each server start, so the values go in now,
# while the server that holds them keeps running.
phase "Registry and echo port"
wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Silabser0' /t REG_SZ /d COM9 /f \
    >"$WORK_DIR/reg.log" 2>&1
wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\QuenlorTestNumber' /t REG_DWORD \
    /d 7 /f >>"$WORK_DIR/reg.log" 2>&1
export QUENLOR_TEST_SERIALCOMM=1

# A pseudo-terminal that sends back every byte it receives. The helper keeps its own slave
# descriptor open so that the line survives the test closing and reopening the port.
/usr/bin/python3 -c '
import os, sys, tty
master, slave = os.openpty()
tty.setraw(slave)
with open(sys.argv[1], "w") as f:
    f.write(os.ttyname(slave))
while True:
    data = os.read(master, 256)
    if not data:
        break
    os.write(master, data)
' "$WORK_DIR/echo-pty" &
ECHO_PID=$!
for _ in $(seq 50); do [ -s "$WORK_DIR/echo-pty" ] && break; sleep 0.1; done
[ -s "$WORK_DIR/echo-pty" ] || { echo "the echo helper did not start" >&2; exit 1; }
ECHO_COM=$(echo "$ECHO_PORT" | tr '[:upper:]' '[:lower:]')
ln -sf "$(cat "$WORK_DIR/echo-pty")" "$WINEPREFIX/dosdevices/$ECHO_COM"
export QUENLOR_TEST_ECHO_PORT=$ECHO_PORT
# Wine keeps a file's read-only attribute as its Unix write permission, which root ignores.
if [ "$(id -u)" -eq 0 ]; then export QUENLOR_TEST_WINE_AS_ROOT=1; fi

# ---------------------------------------------------------------------------------------------
phase "Unit tests under Wine"
unit_status=0
wine "$UNIT_TESTS" >"$WORK_DIR/unit_tests.log" 2>&1 || unit_status=$?
cat "$WORK_DIR/unit_tests.log"
if [ "$unit_status" -ne 0 ]; then
    echo "unit_tests.exe failed under Wine (exit $unit_status)" >&2
    exit "$unit_status"
fi

# ---------------------------------------------------------------------------------------------
# INTEGRATION RUN (to come): p06-read.exe against p06-sim on SIM_PORT=COM7.
#   - build p06-sim natively (it is a POSIX program) and start it directly, not through a
#     shim, so that $! is its own process id: keep it as SIM_PID and stop it in cleanup;
#   - register its pseudo-terminal as COM7:
#       wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d /dev/pts/N /f
#     then restart the server (wineserver -k; wait $SERVER_PID; start_server) so that Wine
#     creates dosdevices/com7 and lists "\Device\Serial6 = COM7" in SERIALCOMM (re-add the
#     test values above if later steps need them: SERIALCOMM is rebuilt at every start);
#   - run `wine "$BUILD_DIR/.../p06-read.exe" ...` with output to a file, then check it.
# Wine's pseudo-terminal drops parity and has no modem lines; see windows-under-wine.md.
# Mind also: the kernel refuses (EINVAL) a pseudo-terminal setting whose only change is its
# parity, so the second 8E1 SetCommState in a row fails under Wine with ERROR_INVALID_PARAMETER
# (87), and the link's Open sets the line twice (its rate, then the whole settings).
# ---------------------------------------------------------------------------------------------

finish_phase
echo "== Windows tests passed"
