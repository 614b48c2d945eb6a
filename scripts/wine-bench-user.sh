# shellcheck shell=bash
# The installed Windows program as a technician without administrator rights runs it: Wine
# run as an unprivileged Unix user, whose prefix's C:\windows that user may not write, so
# that Wine refuses the settings file there with ERROR_ACCESS_DENIED as Windows does. Sourced
# by scripts/test-windows.sh, whose display, helpers (phase, fail, await_window, click_main,
# read_unit, ...), installer, simulator and pty shim it uses; its cleanup calls
# bench_user_cleanup.
#
# Checked: a first start makes this user's copy of the settings file and shows no error box;
# the program reads a unit (p06-sim run as the same user) in French and in English; a
# language change survives a restart; a file in C:\windows is honoured; when both files
# exist, the user's copy wins; C:\windows itself is never written, but its QuenlorV1.CFG is
# when IT made that one file writable (a language change lands there and the user's copy
# goes). Then the installer: an upgrade keeps the custom folder (/D=) of the installed
# version, a /D= naming the default folder moves it back, and `Uninstall.exe /S _?=<folder>`
# returns once the files and the registry key are gone.

BENCH_USER=quenlor-bench
BENCH_USER_MADE="" # the user was made here, and goes at the end
BENCH_DIR=""       # the user's folder: home, prefix, display key, logs
BENCH_SERVER_PID=""
BENCH_SERVER_DIR_NAME=""

# The command line that runs a command as the bench user in its prefix. setpriv and env run
# the command in their own place, so that $! of a command started in the background is the
# command itself.
BENCH=()
as_bench() { "${BENCH[@]}" "$@"; }

bench_user_cleanup() {
    [ -n "$BENCH_DIR" ] || return 0
    # -k stops this prefix's server with every Wine process of the user attached to it.
    as_bench wineserver -k >/dev/null 2>&1 || true
    if [ -n "$BENCH_SERVER_PID" ]; then wait "$BENCH_SERVER_PID" 2>/dev/null || true; fi
    # The server's lock, in a folder named after the prefix's device and inode.
    local dir
    for dir in "${TMPDIR:-/tmp}"/wine-*/"$BENCH_SERVER_DIR_NAME" \
        "${TMPDIR:-/tmp}/.wine-$(id -u "$BENCH_USER")/$BENCH_SERVER_DIR_NAME"; do
        if [ -d "$dir" ]; then
            rm -rf "$dir"
            rmdir "$(dirname "$dir")" 2>/dev/null || true
        fi
    done
    rm -rf "$BENCH_DIR"
    BENCH_DIR=""
    if [ -n "$BENCH_USER_MADE" ]; then userdel "$BENCH_USER" >/dev/null 2>&1 || true; fi
    BENCH_USER_MADE=""
}

# Waits a few seconds for <file> to hold exactly the line of <language index>.
check_bench_file() { # <file> <language index>
    for _ in $(seq 20); do
        printf 'Langue=%s;\n\r' "$2" | cmp -s - "$1" && return 0
        sleep 0.5
    done
    [ -f "$1" ] && od -c "$1" >&2
    fail "$1 does not hold the 11 bytes of Langue=$2"
}

# The application's error box, captioned with its title, must not be up.
no_error_box() {
    [ -z "$(xdotool search --onlyvisible --name '^Quenlor$' 2>/dev/null)" ] ||
        fail "an error box came up: $(copy_out ctrl+c | tr '\n' ' ')"
}

# Picks English in the language dialog of the main window, which stands in French.
choose_english() {
    click_main "${LANGUAGE_BUTTON[@]}"
    [ -n "$(await_window '^Choix de la Langue$')" ] || fail "the language dialog did not appear"
    xdotool key Tab Right
    local dialog
    dialog=$(await_window '^Language choice$') || true
    [ -n "$dialog" ] || fail "the language dialog did not turn to English"
    sleep 0.5
    xdotool mousemove --window "$dialog" "${LANGUAGE_OK_BUTTON[@]}" click 1
}

# The installer run as the bench user, silently, with <arguments>.
bench_setup() {
    as_bench wine "$(windows_path "$BENCH_DIR/setup.exe")" /S "$@" >>"$BENCH_DIR/install.log" 2>&1 ||
        fail "the installer $* exited $? for $BENCH_USER"
}

# An upgrade keeps the installed version's folder; uninstalling with _?= waits for its work.
check_bench_upgrade() {
    local custom=$BENCH_DIR/prefix/drive_c/Quenlor-custom apps
    echo "-- installed again into C:\Quenlor-custom (/D=), then upgraded with /S alone"
    bench_setup '/D=C:\Quenlor-custom'
    bench_setup
    [ -f "$custom/quenlor.exe" ] || fail "the upgrade left C:\Quenlor-custom"
    [ ! -e "$BENCH_DIR/prefix/drive_c/Program Files/Quenlor" ] ||
        fail "the move to C:\Quenlor-custom left Program Files\Quenlor"
    apps=$(apps_entry as_bench)
    grep -qE '^ +InstallLocation +REG_SZ +C:\\Quenlor-custom$' <<<"$apps" ||
        fail "the Apps entry does not name C:\Quenlor-custom: $apps"
    echo "-- /D= naming the default folder moves it back from C:\Quenlor-custom"
    local default=$BENCH_DIR/prefix/drive_c/Program\ Files/Quenlor
    windows_command "$BENCH_DIR/prefix" \
        "$(windows_path "$BENCH_DIR/setup.exe") /S /D=C:\Program Files\Quenlor" as_bench \
        2>>"$BENCH_DIR/install.log" || fail "the installer /D=C:\Program Files\Quenlor exited $?"
    [ -f "$default/quenlor.exe" ] || fail "/D= naming the default folder did not install there"
    [ ! -e "$custom" ] || fail "the move back to the default folder left C:\Quenlor-custom"
    apps=$(apps_entry as_bench)
    grep -qE '^ +InstallLocation +REG_SZ +C:\\Program Files\\Quenlor$' <<<"$apps" ||
        fail "the Apps entry does not name C:\Program Files\Quenlor: $apps"
    echo "-- Uninstall.exe /S _?=<folder> returns once it is done"
    windows_command "$BENCH_DIR/prefix" \
        "\"C:\Program Files\Quenlor\Uninstall.exe\" /S _?=C:\Program Files\Quenlor" as_bench \
        2>>"$BENCH_DIR/install.log" || fail "the uninstaller exited $?"
    [ ! -e "$default/quenlor.exe" ] || fail "the uninstaller returned before removing quenlor.exe"
    ! as_bench wine reg query 'HKLM\Software\Quenlor' >/dev/null 2>&1 ||
        fail "the uninstaller left HKLM\Software\Quenlor"
}

# A user whom Windows does not virtualize (UAC virtualization off by policy) has no copy of
# his own: with no file in C:\windows, which he may not write, the box says that an
# administrator must create the file and let users write it, and nothing is made.
check_not_virtualized() { # <C:\windows> <folder of the user's copy>
    echo "-- UAC virtualization off, no settings file: the box says what IT must do"
    as_bench wine reg add 'HKCU\Environment' /v QUENLOR_TEST_NOT_VIRTUALIZED /t REG_SZ /d 1 /f \
        >>"$BENCH_DIR/reg.log" 2>&1
    (cd "$BENCH_DIR/prefix/drive_c/Program Files/Quenlor" &&
        exec "${BENCH[@]}" wine ./quenlor.exe >>"$BENCH_DIR/quenlor.log" 2>&1) &
    local pid=$! box text
    READER_PIDS+=("$pid")
    box=$(await_window '^Quenlor$') || fail "no box for a user without virtualization"
    sleep 1
    xdotool windowactivate --sync "$box" 2>/dev/null || true
    text=$(copy_until 'Impossible de créer le fichier C:\windows\QuenlorV1.CFG.' ctrl+c)
    echo "$text"
    grep -qxF 'Impossible de créer le fichier C:\windows\QuenlorV1.CFG.' <<<"$text" &&
        grep -qxF "Ce fichier n'existe pas encore et Windows ne laisse pas ce compte le créer : un administrateur doit le créer et donner aux utilisateurs le droit d'y écrire." <<<"$text" ||
        fail "the box for a user without virtualization does not say what IT must do"
    xdotool key Return
    timeout 20 tail --pid="$pid" -f /dev/null || fail "quenlor.exe did not end after its box"
    wait "$pid" || true
    [ ! -e "$1/QuenlorV1.CFG" ] && [ ! -e "$2/QuenlorV1.CFG" ] ||
        fail "a settings file was made for a user without virtualization"
    as_bench wine reg delete 'HKCU\Environment' /v QUENLOR_TEST_NOT_VIRTUALIZED /f \
        >>"$BENCH_DIR/reg.log" 2>&1
}

# Starts the installed quenlor.exe as the bench user and waits for its main window,
# captioned <title regex>; an error box instead fails with its text.
start_bench_quenlor() {
    (cd "$BENCH_DIR/prefix/drive_c/Program Files/Quenlor" &&
        exec "${BENCH[@]}" LD_PRELOAD="$BENCH_DIR/pty_line_settings.so" wine ./quenlor.exe \
            >>"$BENCH_DIR/quenlor.log" 2>&1) &
    # shellcheck disable=SC2034 # quit_quenlor waits for it
    QUENLOR_PID=$!
    MAIN_WINDOW=$(await_window "$1") || true
    if [ -z "$MAIN_WINDOW" ]; then
        local box
        box=$(xdotool search --onlyvisible --name '^Quenlor$' 2>/dev/null | head -n 1) || true
        if [ -n "$box" ]; then
            xdotool windowactivate --sync "$box" 2>/dev/null || true
            fail "an error box instead of the main window: $(copy_out ctrl+c | tr '\n' ' ')"
        fi
        fail "the main window did not appear"
    fi
    await_painted "$MAIN_WINDOW" || fail "the main window was never painted"
    sleep 2
}

run_as_bench_user() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "-- SKIPPED: running as a user without rights needs root, to switch user"
        return 0
    fi
    if ! id "$BENCH_USER" >/dev/null 2>&1; then
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            "$BENCH_USER"
        BENCH_USER_MADE=1
    fi
    BENCH_DIR=$WORK_DIR/bench
    mkdir -p "$BENCH_DIR/home" "$BENCH_DIR/ports" "$BENCH_DIR/prefix"
    BENCH_SERVER_DIR_NAME=$(printf 'server-%x-%x' "$(stat -c %d "$BENCH_DIR/prefix")" \
        "$(stat -c %i "$BENCH_DIR/prefix")")
    BENCH=(setpriv --reuid="$BENCH_USER" --regid="$BENCH_USER" --init-groups
        env -u WINEPATH -u LD_PRELOAD HOME="$BENCH_DIR/home" USER="$BENCH_USER"
        LOGNAME="$BENCH_USER" WINEPREFIX="$BENCH_DIR/prefix" XAUTHORITY="$BENCH_DIR/Xauthority")
    # The work folder is root's: the user only passes through it to its own.
    chmod 711 "$WORK_DIR"
    cp "$XAUTHORITY" "$BENCH_DIR/Xauthority"
    cp "$INSTALLER" "$BENCH_DIR/setup.exe"
    cp "$PTY_SHIM" "$SIM" "$BENCH_DIR/"
    chown -R "$BENCH_USER:" "$BENCH_DIR"

    # The simulated unit, as the same user, so that Wine can open its pseudo-terminal. Its
    # output files exist before it starts, for the wait below.
    : >"$BENCH_DIR/sim.out"
    : >"$BENCH_DIR/sim.err"
    "${BENCH[@]}" "$BENCH_DIR/$(basename "$SIM")" --com "$UNIT_COM" --serial "$UNIT_SERIAL" \
        --circuit "$UNIT_CIRCUIT" --software "$UNIT_SOFTWARE" --ports-dir "$BENCH_DIR/ports" \
        >"$BENCH_DIR/sim.out" 2>"$BENCH_DIR/sim.err" &
    SIM_PIDS+=("$!")
    local device
    device=$(await_sim_device "$BENCH_DIR/sim.out") ||
        fail "p06-sim did not start as $BENCH_USER: $(cat "$BENCH_DIR/sim.err")"

    echo "-- a prefix of $BENCH_USER's own, the program installed in it"
    new_wine_prefix as_bench "$BENCH_DIR/wineboot.log" "COM$UNIT_COM=$device"
    as_bench wine "$(windows_path "$BENCH_DIR/setup.exe")" /S >"$BENCH_DIR/install.log" 2>&1 ||
        fail "the installer exited $? for $BENCH_USER"
    as_bench wineserver -w
    local windows=$BENCH_DIR/prefix/drive_c/windows
    local copy=$BENCH_DIR/prefix/drive_c/users/$BENCH_USER/AppData/Local/VirtualStore/Windows
    [ -f "$BENCH_DIR/prefix/drive_c/Program Files/Quenlor/quenlor.exe" ] ||
        fail "the installer did not install quenlor.exe for $BENCH_USER"
    [ ! -e "$windows/QuenlorV1.CFG" ] || fail "a settings file in C:\\windows before any start"
    # What a standard user meets: C:\windows may be read, not written.
    chmod a-w "$windows"
    as_bench touch "$windows/probe" 2>/dev/null && fail "$BENCH_USER can still write C:\\windows"

    "${BENCH[@]}" wineserver -p >"$BENCH_DIR/wineserver.log" 2>&1 &
    BENCH_SERVER_PID=$!
    as_bench wine cmd /c exit >/dev/null 2>&1
    as_bench wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Silabser0' \
        /t REG_SZ /d "COM$UNIT_COM" /f >>"$BENCH_DIR/reg.log" 2>&1

    check_not_virtualized "$windows" "$copy"

    echo "-- first start: the user's copy is made in French, no error box"
    start_bench_quenlor "^$MAIN_TITLE\$"
    check_bench_file "$copy/QuenlorV1.CFG" 0
    read_unit fr

    echo "-- English from the language dialog, kept across a restart"
    choose_english
    check_bench_file "$copy/QuenlorV1.CFG" 1
    no_error_box
    quit_quenlor
    start_bench_quenlor '^ $'
    read_unit en
    quit_quenlor
    check_bench_file "$copy/QuenlorV1.CFG" 1

    echo "-- a file in C:\\windows alone is honoured: English, rewritten into the user's copy"
    rm "$copy/QuenlorV1.CFG"
    chmod u+w "$windows"
    printf 'Langue=1;\n\r' >"$windows/QuenlorV1.CFG"
    chmod a-w "$windows"
    start_bench_quenlor '^ $'
    check_bench_file "$copy/QuenlorV1.CFG" 1
    no_error_box
    quit_quenlor

    echo "-- both files: the user's copy wins"
    printf 'Langue=0;\n\r' >"$copy/QuenlorV1.CFG"
    chown "$BENCH_USER:" "$copy/QuenlorV1.CFG"
    start_bench_quenlor "^$MAIN_TITLE\$"
    quit_quenlor
    check_bench_file "$copy/QuenlorV1.CFG" 0
    check_bench_file "$windows/QuenlorV1.CFG" 1

    echo "-- IT's grant: C:\\windows closed, its QuenlorV1.CFG writable: a change lands there"
    printf 'Langue=0;\n\r' >"$windows/QuenlorV1.CFG"
    chmod a+w "$windows/QuenlorV1.CFG"
    as_bench touch "$windows/probe" 2>/dev/null && fail "$BENCH_USER can write C:\\windows"
    start_bench_quenlor "^$MAIN_TITLE\$"
    choose_english
    check_bench_file "$windows/QuenlorV1.CFG" 1
    no_error_box
    quit_quenlor
    [ ! -e "$copy/QuenlorV1.CFG" ] || fail "the change to C:\\windows left the user's copy"
    [ ! -s "$BENCH_DIR/quenlor.log" ] || cat "$BENCH_DIR/quenlor.log"
    check_bench_upgrade
    bench_user_cleanup
}
