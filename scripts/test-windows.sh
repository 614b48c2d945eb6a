#!/usr/bin/env bash
# The Windows program and its tests under Wine, on an Xvfb display of its own (the shared
# helpers in scripts/common.sh, each part of the Wine run in a scripts/wine-*.sh of its own):
#   1. build it with scripts/build-windows.sh (Qt for Windows from its cache or built first,
#      the cross build, the zip and the installer);
#   2. get the native p06-sim (the simulated transmitter is a Linux program) and start three
#      of them: a unit on COM7, a silent line on COM10 and a unit of another type on COM11;
#   3. make a throw-away Wine prefix whose COM ports are those pseudo-terminals, and start a
#      persistent Wine server in it;
#   4. put test values into HKLM\HARDWARE\DEVICEMAP\SERIALCOMM and serve an echoing
#      pseudo-terminal as a COM port, for the tests of the Win32 registry and serial line;
#   5. run unit_tests.exe, then check the settings file it left in C:\windows;
#   6. the integration run: p06-read.exe reads the unit on COM7, gives up on the silent line,
#      and lists the registry's ports with the adapter's chosen;
#   7. the windows' Qt Test programs, then the installed program as a technician uses it
#      (scripts/wine-window.sh);
#   8. what the deliverables carry (scripts/wine-deliverables.sh): the resources of the .exe
#      files and SHA256SUMS right after the build, the signatures of a build signed with a
#      throw-away certificate, quenlor.exe --version and --help in a cmd console, the
#      installer's "Apps" entry, the installer and the uninstaller refusing while a program
#      of the folder runs, and the installer's refusal of a prefix set to Windows 7.
#   9. the installed program run by a user without administrator rights, whose C:\windows
#      is not writable (scripts/wine-bench-user.sh).
# Installs nothing: `make test-windows` installs the compilers, Wine, NSIS and the X tools.
#
#   scripts/test-windows.sh [build folder, default build-win]
#
# p06-sim and expected_reading come from build/ when they are up to date with their sources
# (`make build` made them), else they are built in <build folder>-native; P06_SIM=<path>
# names another p06-sim. QUENLOR_WINDOWS_PICTURES=<folder> keeps pictures of the windows.
#
# Everything it starts (the Wine server, the simulators, the echo helper, the programs) is
# stopped by its own process id or with `wineserver -k` for its own prefix, and the prefix
# is removed, also on failure. xvfb-run stops its Xvfb.
set -euo pipefail

# The windows need a display: one of the script's own, never the user's.
if [ -z "${QUENLOR_TEST_WINDOWS_XVFB:-}" ]; then
    export QUENLOR_TEST_WINDOWS_XVFB=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

cd "$(dirname "$0")/.."
SOURCE_DIR=$PWD
BUILD_DIR=${1:-build-win}
JOBS=${JOBS:-$(nproc)}

# The echo port of the serial line tests; the integration run's unit and silent line.
ECHO_PORT=COM8
UNIT_COM=7
SILENT_COM=10
WRONG_TYPE_COM=11
# The unit COM7 serves, and what p06-read must report of it.
UNIT_SERIAL=305419896
UNIT_CIRCUIT=17
UNIT_SOFTWARE=4.12

fail() {
    echo "test-windows: $*" >&2
    exit 1
}

# shellcheck source=scripts/common.sh
. scripts/common.sh
# shellcheck source=scripts/wine-reader.sh
. scripts/wine-reader.sh

# ---------------------------------------------------------------------------------------------
# What the script starts, and how it is taken down.

WORK_DIR=""        # temporary folder: the Wine prefix and the logs
SERVER_DIR_NAME="" # the Wine server's folder for that prefix
SERVER_PID=""      # the persistent Wine server
ECHO_PID=""        # the echoing pseudo-terminal
SIM_PIDS=()        # the simulated transmitters
READER_PIDS=()     # p06-read.exe runs left in the background

CLEANED_UP=""
cleanup() {
    local status=${1:-$?}
    [ -z "$CLEANED_UP" ] || exit "$status"
    CLEANED_UP=1
    set +e
    trap '' INT TERM
    if declare -F bench_user_cleanup >/dev/null; then bench_user_cleanup; fi
    if [ -n "$ECHO_PID" ]; then
        kill "$ECHO_PID" 2>/dev/null
        wait "$ECHO_PID" 2>/dev/null
    fi
    if [ -n "$SERVER_DIR_NAME" ]; then
        # -k stops the server of this prefix only, with every Wine process attached to it
        # (also a wineboot or a reader cut short); it does nothing when no server runs.
        wineserver -k >/dev/null 2>&1
        if [ -n "$SERVER_PID" ]; then wait "$SERVER_PID" 2>/dev/null; fi
        local pid
        for pid in "${READER_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
    fi
    # A simulator stopped with SIGTERM removes its own alias; the folder goes below.
    local sim
    for sim in "${SIM_PIDS[@]}"; do
        kill "$sim" 2>/dev/null
        wait "$sim" 2>/dev/null
    done
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
WORK_DIR=$(mktemp -d /tmp/quenlor-wine.XXXXXX)
# shellcheck source=scripts/wine-deliverables.sh
. scripts/wine-deliverables.sh

phase "Qt for Windows, cross build and packages"
# A signed build, with a throw-away certificate: the signatures must survive every step.
mkdir "$WORK_DIR/signing"
make_signing_certificate "$WORK_DIR/signing"
QT_PREFIX=$(JOBS=$JOBS SIGN_PKCS12=$SIGN_PKCS12 SIGN_PASSWORD_FILE=$SIGN_PASSWORD_FILE \
    scripts/build-windows.sh "$BUILD_DIR" package | tail -n 1)
UNIT_TESTS=$BUILD_DIR/tests/unit/unit_tests.exe
P06_READ=$BUILD_DIR/cli/p06-read.exe
# This build's installer, the one SHA256SUMS names (the folder may hold older versions).
INSTALLER=$BUILD_DIR/$(sed -n 's/^[0-9a-f]*  \(Quenlor-.*-win64\.exe\)$/\1/p' "$BUILD_DIR/SHA256SUMS")
QUENLOR=$BUILD_DIR/app/quenlor.exe
for exe in "$UNIT_TESTS" "$P06_READ" "$QUENLOR" "$INSTALLER"; do
    [ -f "$exe" ] || fail "missing $exe"
done
VERSION=$(basename "$INSTALLER" | sed 's/^Quenlor-\(.*\)-win64\.exe$/\1/')
(cd "$BUILD_DIR" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(wc -l <"$BUILD_DIR/SHA256SUMS")" -eq 2 ] || fail "SHA256SUMS lists more than this build"

phase "Resources and signatures of the programs"
check_resources "$VERSION" "$QUENLOR" "$P06_READ"
check_installer_resources
check_signed_deliverables

# ---------------------------------------------------------------------------------------------
phase "Simulator"
up_to_date() { [ -x "$1" ] && [ -z "$(find sim platform tests/support tests/wine -newer "$1" -print -quit)" ]; }
if up_to_date build/sim/p06-sim && up_to_date build/tests/expected_reading; then
    NATIVE_DIR=build
else
    NATIVE_DIR=$BUILD_DIR-native
    cmake -S "$SOURCE_DIR" -B "$NATIVE_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUENLOR_UI=OFF >/dev/null
    cmake --build "$NATIVE_DIR" -j "$JOBS" --target p06-sim expected_reading
fi
SIM=${P06_SIM:-$NATIVE_DIR/sim/p06-sim}
EXPECTED_READING=$NATIVE_DIR/tests/expected_reading
for exe in "$SIM" "$EXPECTED_READING"; do [ -x "$exe" ] || fail "missing $exe"; done
echo "p06-sim: $SIM"

# A pseudo-terminal keeps no parity: the shim lets Wine's 8E1 SetCommState pass on one, as it
# does on the bench PC's UART (see tests/wine/pty_line_settings.c). Only the readers of the
# integration run are given it.
PTY_SHIM=$WORK_DIR/pty_line_settings.so
"${CC:-cc}" -shared -fPIC -O2 -o "$PTY_SHIM" "$SOURCE_DIR/tests/wine/pty_line_settings.c" -ldl

# Starts p06-sim on COM<number> with its alias in the work folder, not the user's; sets
# SIM_DEVICE to the pseudo-terminal it serves, once it has printed its line.
start_sim() {
    local number=$1 log=$WORK_DIR/sim-com$1
    shift
    "$SIM" "$@" --com "$number" --ports-dir "$WORK_DIR/ports" >"$log.out" 2>"$log.err" &
    SIM_PIDS+=("$!")
    SIM_DEVICE=$(await_sim_device "$log.out") && return 0
    cat "$log.out" "$log.err" >&2
    fail "p06-sim on COM$number did not start"
}
start_sim "$UNIT_COM" --serial "$UNIT_SERIAL" --circuit "$UNIT_CIRCUIT" --software "$UNIT_SOFTWARE"
UNIT_DEVICE=$SIM_DEVICE
start_sim "$SILENT_COM" --silent
SILENT_DEVICE=$SIM_DEVICE
start_sim "$WRONG_TYPE_COM" --type P07
WRONG_TYPE_DEVICE=$SIM_DEVICE

# ---------------------------------------------------------------------------------------------
phase "Wine prefix"
export WINEPREFIX=$WORK_DIR/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The programs of the build folder find Qt's DLLs and the compiler's runtime on WINEPATH;
# the installed program needs none of it.
windows_path() { echo "Z:${1//\//\\}"; }
RUNTIME_DIRS=$QT_PREFIX/bin
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    RUNTIME_DIRS+=:$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)")")
done
BUILD_WINEPATH=$(IFS=:; for d in $RUNTIME_DIRS; do printf '%s;' "$(windows_path "$d")"; done)
export WINEPATH=$BUILD_WINEPATH
mkdir "$WINEPREFIX"
SERVER_DIR_NAME=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
# The ports added in wineboot's server: the next server start costs no restart.
new_wine_prefix run_here "$WORK_DIR/wineboot.log" "COM$UNIT_COM=$UNIT_DEVICE" \
    "COM$SILENT_COM=$SILENT_DEVICE" "COM$WRONG_TYPE_COM=$WRONG_TYPE_DEVICE"
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

# Wine's port links, made by its mount manager as the server came up.
for port in "$UNIT_COM=$UNIT_DEVICE" "$SILENT_COM=$SILENT_DEVICE"; do
    link=$WINEPREFIX/dosdevices/com${port%%=*}
    deadline=$((SECONDS + 30))
    while [ ! -L "$link" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
    [ "$(readlink "$link")" = "${port#*=}" ] ||
        fail "Wine did not make $link point at ${port#*=}: $(readlink "$link")"
done

# SERIALCOMM is volatile: Wine rebuilds it at each server start, so the values go in now,
# while the server that holds them keeps running.
phase "Registry and echo port"
wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Silabser0' /t REG_SZ /d COM9 /f \
    >"$WORK_DIR/reg.log" 2>&1
wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\QuenlorTestNumber' /t REG_DWORD \
    /d 7 /f >>"$WORK_DIR/reg.log" 2>&1
export QUENLOR_TEST_SERIALCOMM=1

start_echo_port
export QUENLOR_TEST_ECHO_PORT=$ECHO_PORT
# Wine keeps a file's read-only attribute as its Unix write permission, which root ignores.
if [ "$(id -u)" -eq 0 ]; then export QUENLOR_TEST_WINE_AS_ROOT=1; fi
# The prefix is thrown away: the settings file may be written in its C:\windows.
export QUENLOR_TEST_WINDOWS_DIRECTORY=1

# ---------------------------------------------------------------------------------------------
phase "Unit tests under Wine"
unit_status=0
wine "$UNIT_TESTS" >"$WORK_DIR/unit_tests.log" 2>&1 || unit_status=$?
cat "$WORK_DIR/unit_tests.log"
if [ "$unit_status" -ne 0 ]; then
    echo "unit_tests.exe failed under Wine (exit $unit_status)" >&2
    exit "$unit_status"
fi

# The settings file the unit tests wrote last, seen from Linux: English, 11 bytes, in the
# prefix's Windows directory.
phase "Settings file in C:\windows"
SETTINGS_FILE=$WINEPREFIX/drive_c/windows/QuenlorV1.CFG
if ! printf 'Langue=1;\n\r' | cmp - "$SETTINGS_FILE"; then
    [ -f "$SETTINGS_FILE" ] && od -c "$SETTINGS_FILE" >&2
    fail "$SETTINGS_FILE does not hold the 11 bytes of Langue=1"
fi
od -c "$SETTINGS_FILE"

phase "quenlor.exe in a console"
check_console_output "$QUENLOR" "$VERSION"

# ---------------------------------------------------------------------------------------------
# p06-read.exe against the simulators, through the Win32 serial line and registry.
phase "Integration run under Wine"
run_reader_integration

# ---------------------------------------------------------------------------------------------
# The windows: their Qt Test programs, then the installed program.
# shellcheck source=scripts/wine-window.sh
. scripts/wine-window.sh
phase "Window tests under Wine"
run_window_tests
phase "Installed program under Wine"
run_installed_program
echo "== Installed quenlor.exe passed: readings in French and English, wrong-type box, settings file, uninstall"
phase "Installer on Windows 7"
check_installer_refuses_old_windows
# shellcheck source=scripts/wine-bench-user.sh
. scripts/wine-bench-user.sh
phase "Installed program as a user without rights"
run_as_bench_user

finish_phase
echo "== Windows tests passed"
