# The windows of the Windows program under Wine; sourced by scripts/test-windows.sh, whose
# prefix, server, simulators, display and helpers (phase, fail, windows_path, WORK_DIR,
# PTY_SHIM, EXPECTED_READING, ...) it uses.

# The windows' Qt Test programs on Qt's offscreen platform, as on Linux: what they check
# (captions, geometry, texts, the reading tick by tick, the sound types) must hold on Windows.
# The platform and its folder go on the command line, as the QT_* variables of the shell do
# not reach a Windows program under this Wine; the offscreen platform's fonts (the DejaVu of
# the Linux suite) come through the prefix's user environment. The report goes to a file
# (-o), as their standard output does not reach Wine's either.
run_window_tests() {
    local test status
    wine reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /t REG_SZ \
        /d "$(windows_path /usr/share/fonts/truetype/dejavu)" /f >>"$WORK_DIR/reg.log" 2>&1
    for test in TConfPort_test TDialogChoixLangue_test RadioGroupColumns_test \
        TDlgLectureInformation_test Accessibility_test; do
        status=0
        wine "$BUILD_DIR/tests/gui/$test.exe" -platform offscreen \
            -platformpluginpath "$(windows_path "$QT_PREFIX/plugins/platforms")" \
            -o "$(windows_path "$WORK_DIR/$test.txt"),txt" >"$WORK_DIR/$test.log" 2>&1 ||
            status=$?
        tr -d '\r' <"$WORK_DIR/$test.txt" | grep -vE '^(PASS|QDEBUG|QINFO)|propagateSizeHints' || true
        [ "$status" -eq 0 ] || fail "$test.exe failed under Wine (exit $status)"
    done
}

# ---------------------------------------------------------------------------------------------
# The installed program, driven as a technician drives it: clicks on its buttons, keys in its
# dialogs, its text box and error box read back through the clipboard.

INSTALL_DIR="$WINEPREFIX/drive_c/Program Files/Quenlor"
START_MENU="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quenlor"
SETTINGS_FILE=$WINEPREFIX/drive_c/windows/QuenlorV1.CFG
MAIN_TITLE="Lecture des Information de l'appareil Emetteur Radio TALVERN8"
# The main window's client height and the centres of its controls, in client coordinates.
MAIN_CLIENT_HEIGHT=225
READ_BUTTON=(349 20)
LANGUAGE_BUTTON=(349 132)
QUIT_BUTTON=(349 204)
MEMO=(156 112)
LANGUAGE_OK_BUTTON=(108 176)
QUENLOR_PID=""

await_window() { # <title regex> -> the window's id, within a minute
    # One search at a time, not --sync: a window that vanishes while xdotool walks the tree
    # (the installer's, Wine's own) ends that search with an X error, and the next try goes on.
    local found deadline=$((SECONDS + 60))
    while [ "$SECONDS" -lt "$deadline" ]; do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.5
    done
    return 1
}

# Clicks at a point of the main window's client area. Without a window manager, Wine's X
# window is the client area alone, no frame around it.
click_main() {
    local height="" _
    for _ in $(seq 5); do
        height=$({ xdotool getwindowgeometry --shell "$MAIN_WINDOW" 2>/dev/null || true; } |
            sed -n 's/^HEIGHT=//p')
        [ -z "$height" ] || break
        sleep 0.5
    done
    [ "${height:-0}" -eq "$MAIN_CLIENT_HEIGHT" ] ||
        fail "the main window is $height pixels high, not its client area's $MAIN_CLIENT_HEIGHT"
    xdotool mousemove --window "$MAIN_WINDOW" "$1" "$2" click 1
    sleep 0.5
}

# Whatever the active window copies on Ctrl+C (after Ctrl+A in the text box), LF-ended.
copy_out() {
    xdotool key "$@"
    sleep 0.5
    # A read that comes before the copy is an empty text, which the caller's wait tries again.
    { timeout 10 xclip -o -selection clipboard 2>/dev/null || true; } | tr -d '\r' | sed -e '$a\'
}

# The text that the active window copies on <keys>, once it holds <line>; the last text read
# when it never does.
copy_until() { # <line> <keys>...
    local line=$1 text="" _
    shift
    for _ in $(seq 20); do
        text=$(copy_out "$@")
        grep -qxF -- "$line" <<<"$text" && break
        sleep 0.5
    done
    echo "$text"
}

# Waits for a window's first paint: until then it is one colour, and a click on it is lost.
await_painted() { # <window id>
    local deadline=$((SECONDS + 60))
    while [ "$SECONDS" -lt "$deadline" ]; do
        { xwd -silent -id "$1" 2>/dev/null || true; } | /usr/bin/python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
if len(data) < 100:
    sys.exit(1)
h = struct.unpack(">25I", data[:100])
pixels = data[h[0] + 12 * h[19]:]
sys.exit(0 if len(set(pixels[::28])) > 4 else 1)
' && return 0
        sleep 0.5
    done
    return 1
}

copy_memo() {
    click_main "${MEMO[@]}"
    copy_out ctrl+a ctrl+c
    xdotool key ctrl+End # no selection left in the pictures
}

# Waits for the text box to end with the lines in <file> (a reading takes a few seconds).
await_memo_tail() {
    local expected=$1 name=$2 lines
    lines=$(wc -l <"$expected")
    for _ in $(seq 20); do
        sleep 1
        copy_memo >"$WORK_DIR/$name.memo"
        tail -n "$lines" "$WORK_DIR/$name.memo" | cmp -s - "$expected" && return 0
    done
    diff -u "$expected" <(tail -n "$lines" "$WORK_DIR/$name.memo") >&2 || true
    picture "$MAIN_WINDOW" "failed-$name.png"
    fail "$name: the text box does not end with the expected lines"
}

# Waits a few seconds for the settings file to hold exactly the line of that language.
check_settings_file() { # <language index>
    for _ in $(seq 20); do
        printf 'Langue=%s;\n\r' "$1" | cmp -s - "$SETTINGS_FILE" && return 0
        sleep 0.5
    done
    if ! printf 'Langue=%s;\n\r' "$1" | cmp - "$SETTINGS_FILE"; then
        [ -f "$SETTINGS_FILE" ] && od -c "$SETTINGS_FILE" >&2
        fail "C:\\windows\\QuenlorV1.CFG does not hold the 11 bytes of Langue=$1"
    fi
}

# A picture of a window for the documentation, when QUENLOR_WINDOWS_PICTURES names a folder.
picture() { # <window id> <file name>
    [ -n "${QUENLOR_WINDOWS_PICTURES:-}" ] || return 0
    mkdir -p "$QUENLOR_WINDOWS_PICTURES"
    xwd -silent -id "$1" | /usr/bin/python3 -c '
import struct, sys, zlib
data = sys.stdin.buffer.read()
h = struct.unpack(">25I", data[:100])
size, width, height, order, bpp, stride, ncolors = h[0], h[4], h[5], h[7], h[11], h[12], h[19]
step = bpp // 8  # lines may be padded beyond width * step
assert step in (3, 4), "a 24-bit display is expected"
pixels = data[size + 12 * ncolors:]
rows = b""
for y in range(height):
    row = pixels[y * stride:y * stride + step * width]
    b, g, r = ((row[0::step], row[1::step], row[2::step]) if order == 0
               else (row[step - 1::step], row[step - 2::step], row[step - 3::step]))
    rgb = bytearray(3 * width)
    rgb[0::3], rgb[1::3], rgb[2::3] = r, g, b
    rows += b"\0" + bytes(rgb)
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
sys.stdout.buffer.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                        + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
' >"$QUENLOR_WINDOWS_PICTURES/$2"
    echo "picture: $QUENLOR_WINDOWS_PICTURES/$2"
}

set_adapter_port() { # <COM number>: the port SERIALCOMM gives the adapter's driver
    wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Silabser0' /t REG_SZ \
        /d "COM$1" /f >>"$WORK_DIR/reg.log" 2>&1
}

# Starts the installed quenlor.exe and waits for its main window, captioned <title regex>.
start_quenlor() {
    # Nothing from the build: the installed folder must be enough.
    (unset WINEPATH && cd "$INSTALL_DIR" &&
        LD_PRELOAD=$PTY_SHIM exec wine ./quenlor.exe >>"$WORK_DIR/quenlor.log" 2>&1) &
    QUENLOR_PID=$!
    READER_PIDS+=("$QUENLOR_PID")
    MAIN_WINDOW=$(await_window "$1") || true
    [ -n "$MAIN_WINDOW" ] || fail "the main window did not appear"
    await_painted "$MAIN_WINDOW" || fail "the main window was never painted"
    sleep 2
}

# Quits with the quit button; the program must end, and end well.
quit_quenlor() {
    local status=0
    click_main "${QUIT_BUTTON[@]}"
    timeout 20 tail --pid="$QUENLOR_PID" -f /dev/null || fail "quenlor.exe did not end"
    wait "$QUENLOR_PID" || status=$?
    [ "$status" -eq 0 ] || fail "quenlor.exe exited $status"
}

# Clicks the read button and waits for the whole reading of the unit on COM$UNIT_COM in
# <fr|en>, line for line.
read_unit() {
    local expected=$WORK_DIR/reading-$1.txt
    echo "-- reading the unit on COM$UNIT_COM in $1"
    "$EXPECTED_READING" success "$1" "$UNIT_SERIAL" "$UNIT_CIRCUIT" "$UNIT_SOFTWARE" >"$expected"
    click_main "${READ_BUTTON[@]}"
    await_memo_tail "$expected" "reading-$1"
    picture "$MAIN_WINDOW" "windows-main-$1.png"
}

# The installed p06-read.exe reading unit after unit on the silent line, which it waits on
# until it is stopped: meanwhile the installer and the uninstaller must refuse.
refused_while_reader_runs() {
    local log=$WORK_DIR/repeat.err pid
    : >"$log"
    (unset WINEPATH && cd "$INSTALL_DIR" && LD_PRELOAD=$PTY_SHIM exec wine ./p06-read.exe \
        --repeat --port "$SILENT_COM" --lang en >"$WORK_DIR/repeat.out" 2>"$log") &
    pid=$!
    READER_PIDS+=("$pid")
    for _ in $(seq 60); do grep -q 'Ctrl+C to stop' "$log" && break; sleep 0.5; done
    grep -q 'Ctrl+C to stop' "$log" || fail "p06-read.exe --repeat did not start: $(cat "$log")"
    check_refused_while_running p06-read.exe
    kill "$pid"
    wait "$pid" || true
}

run_installed_program() {
    local expected

    echo "-- installing $(basename "$INSTALLER") silently"
    wine "$INSTALLER" /S >"$WORK_DIR/install.log" 2>&1 || fail "the installer exited $?"
    for file in quenlor.exe p06-read.exe Uninstall.exe Qt6Widgets.dll platforms/qwindows.dll \
        libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        [ -f "$INSTALL_DIR/$file" ] || fail "the installer did not install $file"
    done
    # The native style's plugin, named after the Qt it comes from (6.4: vista, 6.8: modern).
    [ -f "$INSTALL_DIR/styles/qwindowsvistastyle.dll" ] ||
        [ -f "$INSTALL_DIR/styles/qmodernwindowsstyle.dll" ] ||
        fail "the installer did not install the native style's plugin"
    [ -f "$START_MENU/Quenlor.lnk" ] || fail "the installer made no Start-menu entry"
    check_apps_entry
    check_signed "$INSTALL_DIR/quenlor.exe" "$INSTALL_DIR/p06-read.exe" "$INSTALL_DIR/Uninstall.exe"

    # The bench's adapter is the unit's port; a first start writes French settings.
    set_adapter_port "$UNIT_COM"
    rm -f "$SETTINGS_FILE"
    start_quenlor "^$MAIN_TITLE\$"
    check_settings_file 0

    read_unit fr

    echo "-- English, from the language dialog"
    click_main "${LANGUAGE_BUTTON[@]}"
    [ -n "$(await_window '^Choix de la Langue$')" ] || fail "the language dialog did not appear"
    # From the OK button to the selected language, then the next one.
    xdotool key Tab Right
    local dialog
    dialog=$(await_window '^Language choice$') || true
    [ -n "$dialog" ] || fail "the language dialog did not turn to English"
    sleep 0.5
    picture "$dialog" windows-language.png
    xdotool mousemove --window "$dialog" "${LANGUAGE_OK_BUTTON[@]}" click 1
    check_settings_file 1

    read_unit en
    check_refused_while_running quenlor.exe
    quit_quenlor
    check_settings_file 1
    refused_while_reader_runs

    # A new start, which takes English from the settings file (the English caption is one
    # space), on the port of another unit.
    echo "-- a unit of another type on COM$WRONG_TYPE_COM, after a new start"
    set_adapter_port "$WRONG_TYPE_COM"
    start_quenlor '^ $'
    click_main "${READ_BUTTON[@]}"
    local box
    box=$(await_window '^Erreur$') || true
    if [ -z "$box" ]; then
        picture "$MAIN_WINDOW" failed-wrong-type.png
        fail "no error box for a unit of another type"
    fi
    sleep 1
    picture "$box" windows-wrong-type.png
    copy_until Erreur ctrl+c >"$WORK_DIR/box.txt"
    cat "$WORK_DIR/box.txt"
    "$EXPECTED_READING" wrong-type-box en >"$WORK_DIR/box-expected.txt"
    while IFS= read -r line; do
        grep -qxF "$line" "$WORK_DIR/box.txt" || fail "the error box lacks: $line"
    done <"$WORK_DIR/box-expected.txt"
    grep -qx 'Erreur' "$WORK_DIR/box.txt" || fail "the error box is not captioned Erreur"
    xdotool key Return
    expected=$WORK_DIR/wrong-type-en.txt
    "$EXPECTED_READING" wrong-type en >"$expected"
    await_memo_tail "$expected" wrong-type-en
    quit_quenlor
    check_settings_file 1

    echo "-- uninstalling silently"
    # The uninstaller copies itself out of the folder and runs from there: wait for its work.
    wine "$INSTALL_DIR/Uninstall.exe" /S >"$WORK_DIR/uninstall.log" 2>&1 ||
        fail "the uninstaller exited $?"
    for _ in $(seq 60); do
        [ -e "$INSTALL_DIR/quenlor.exe" ] || [ -e "$START_MENU/Quenlor.lnk" ] || break
        sleep 0.5
    done
    [ ! -e "$INSTALL_DIR/quenlor.exe" ] || fail "the uninstaller left quenlor.exe"
    [ ! -e "$START_MENU/Quenlor.lnk" ] || fail "the uninstaller left the Start-menu entry"
}
