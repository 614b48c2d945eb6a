# What the Windows deliverables carry besides the programs' behaviour: the resources of the
# .exe files, the console output of the window program, the installer's entry in "Apps" and
# its refusal of an old Windows. Sourced by scripts/test-windows.sh, whose prefix, server,
# display and helpers (fail, windows_path, await_window, WORK_DIR, INSTALLER, INSTALL_DIR, ...)
# it uses.

# Whether a file's version information gives the version and the publisher. VS_VERSIONINFO
# holds its strings in UTF-16, each key after its lengths and type and followed by its value.
version_strings() { # <file> <version>
    wrestool -x --raw --type=16 "$1" | /usr/bin/python3 -c '
import sys
words = [w for w in sys.stdin.buffer.read().decode("utf-16-le", "replace").split("\0") if w]
expected = {"FileVersion": sys.argv[1], "ProductVersion": sys.argv[1], "CompanyName": "Quenlor"}
for key, value in expected.items():
    values = [words[i + 1] for i, w in enumerate(words[:-1]) if w.endswith(key)]
    if values != [value]:
        sys.exit(f"{key} is {values}, not {value}")
' "$2"
}

# The icon and its sizes, the version information (the project's version, the publisher), the
# Terminal Server aware flag and the manifest of each program, read back from the built files
# with icoutils' wrestool and objdump. The listing goes to the log.
check_resources() { # <version> <exe>...
    local version=$1 exe listing manifest sizes flags ico
    shift
    for exe in "$@"; do
        listing=$(wrestool -l "$exe")
        echo "-- resources of $(basename "$exe")"
        echo "$listing"
        grep -q -- "--type=14 --name='IDI_ICON1' " <<<"$listing" || fail "$exe has no icon"
        version_strings "$exe" "$version" ||
            fail "$exe: the version information does not carry $version and Quenlor"
        # IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE (0x8000), from -Wl,--tsaware.
        flags=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^DllCharacteristics\s*//p')
        [ $((16#${flags:-0} & 0x8000)) -ne 0 ] || fail "$exe is not Terminal Server aware: $flags"
        # 20, 40 and 64 are the sizes of 125 % and 200 %.
        # icotool reads a PNG image only from a file it can seek in.
        ico=$(mktemp --suffix=.ico)
        wrestool -x --type=14 "$exe" -o "$ico"
        sizes=$(icotool -l "$ico" | sed -n 's/.*--width=\([0-9]*\) .*/\1/p' | sort -n | tr '\n' ' ')
        rm -f "$ico"
        [ "$sizes" = "16 20 24 32 40 48 64 256 " ] || fail "$exe: the icon's sizes are $sizes"
        manifest=$(wrestool -x --raw --type=24 --name=1 "$exe")
        grep -q 'requestedExecutionLevel level="asInvoker"' <<<"$manifest" ||
            fail "$exe: the manifest does not run it asInvoker"
        grep -q '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' <<<"$manifest" ||
            fail "$exe: the manifest does not name Windows 10 and 11"
        # Qt sets the DPI awareness itself; a manifest entry makes its call fail.
        ! grep -qi 'dpiAware' <<<"$manifest" || fail "$exe: the manifest has a DPI element"
    done
}

# The installer's own icon, its version information, and its window sharp on a scaled screen.
check_installer_resources() {
    wrestool -l --type=14 "$INSTALLER" | grep . >/dev/null || fail "the installer has no icon"
    version_strings "$INSTALLER" "$VERSION" ||
        fail "the installer's version information does not carry $VERSION and Quenlor"
    wrestool -x --raw --type=24 "$INSTALLER" | grep 'dpiAware[^>]*>true</' >/dev/null ||
        fail "the installer's window is not DPI-aware"
}

# quenlor.exe is a window program: --version and --help must still reach the console of the
# cmd that started it, as on Linux.
check_console_output() { # <quenlor.exe> <version>
    local exe=$1 version=$2 out
    out=$(wine cmd /c "$(windows_path "$exe") --version" 2>&1 | tr -d '\r')
    echo "$out"
    [ "$out" = "quenlor $version" ] || fail "quenlor.exe --version printed \"$out\" in cmd"
    out=$(wine cmd /c "$(windows_path "$exe") --help" 2>&1 | tr -d '\r')
    head -n 1 <<<"$out"
    [ "$(head -n 1 <<<"$out")" = "Usage: quenlor" ] || fail "quenlor.exe --help printed \"$out\""
    grep -qF 'VirtualStore\Windows\QuenlorV1.CFG' <<<"$out" && grep -qF 'SERIALCOMM' <<<"$out" ||
        fail "quenlor.exe --help does not name the Windows files: $out"
}

# The "Apps" entry's values, as `reg query` lists them: a query that fails once (a busy
# machine) is tried again for a few seconds. <runner> (as_bench) runs wine as another user.
apps_entry() { # [runner...]
    local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlor' entry="" _
    for _ in $(seq 10); do
        entry=$("$@" wine reg query "$key" 2>/dev/null | tr -d '\r') || true
        grep -q InstallLocation <<<"$entry" && break
        sleep 0.5
    done
    echo "$entry"
}

# The installed program's entry in "Apps": its icon, its size, its publisher, its folder, its
# silent uninstall, and no modify or repair buttons (DWORD values).
check_apps_entry() {
    local entry
    entry=$(apps_entry)
    grep -qE '^ +DisplayIcon +REG_SZ +C:\\Program Files\\Quenlor\\quenlor\.exe$' <<<"$entry" ||
        fail "the Apps entry shows no quenlor.exe icon: $entry"
    local size
    size=$(sed -n 's/^ *EstimatedSize *REG_DWORD *0x\([0-9a-f]*\)$/\1/p' <<<"$entry")
    local installed
    installed=$(du -sk "$INSTALL_DIR" | cut -f1)
    # Within a tenth of what the folder holds (du counts whole blocks).
    [ -n "$size" ] && [ $((16#$size * 10)) -ge $((installed * 9)) ] &&
        [ $((16#$size * 10)) -le $((installed * 11)) ] ||
        fail "the Apps entry's size is ${size:-missing} KiB (hex), the folder $installed KiB"
    local value
    for value in 'Publisher +REG_SZ +Quenlor' 'NoModify +REG_DWORD +0x1' 'NoRepair +REG_DWORD +0x1' \
        'InstallLocation +REG_SZ +C:\\Program Files\\Quenlor' \
        'QuietUninstallString +REG_SZ +"C:\\Program Files\\Quenlor\\Uninstall\.exe" /S'; do
        grep -qE "^ +$value\$" <<<"$entry" || fail "the Apps entry has no $value: $entry"
    done
    echo "Apps entry: icon quenlor.exe, $((16#$size)) KiB"
}

# On a Windows older than 10 1809 the installer refuses with ERROR_OLD_WIN_VERSION (1150; the
# wine command passes on its low byte, 126): silently, and with its message in French and
# English otherwise, read from Wine's trace of the box. Nothing is installed.
check_installer_refuses_old_windows() {
    local status=0 expected=$((1150 % 256)) trace=$WORK_DIR/install-win7.trace box
    winecfg -v win7 >>"$WORK_DIR/winecfg.log" 2>&1
    wine "$INSTALLER" /S >>"$WORK_DIR/install-win7.log" 2>&1 || status=$?
    [ "$status" -eq "$expected" ] || fail "the installer on Windows 7 exited $status, not 1150"
    WINEDEBUG=+msgbox wine "$INSTALLER" >>"$WORK_DIR/install-win7.log" 2>"$trace" &
    local installer_pid=$!
    READER_PIDS+=("$installer_pid")
    box=$(await_window '^Quenlor .* Setup$') || fail "the installer on Windows 7 showed no box"
    sleep 1
    xdotool windowfocus --sync "$box" key Return
    timeout 20 tail --pid="$installer_pid" -f /dev/null || fail "the box did not close on Return"
    status=0
    wait "$installer_pid" || status=$?
    grep -a 'msgbox:MSGBOX_OnInit' "$trace" || true
    grep -aqF 'Quenlor a besoin de Windows 10 version 1809 ou plus r\00e9cent, en 64 bits.' \
        "$trace" || fail "the installer's box on Windows 7 has no French message"
    grep -aqF 'Quenlor needs Windows 10 version 1809 or later, 64-bit.' "$trace" ||
        fail "the installer's box on Windows 7 has no English message"
    [ "$status" -eq "$expected" ] || fail "the installer on Windows 7 exited $status after its box"
    [ ! -e "$INSTALL_DIR/quenlor.exe" ] || fail "the installer installed on Windows 7"
    winecfg -v win10 >>"$WORK_DIR/winecfg.log" 2>&1
}

# A throw-away code-signing certificate, for a signed build (SIGN_PKCS12 of
# scripts/build-windows.sh): sets SIGN_CERTIFICATE (its PEM, to verify with), SIGN_PKCS12 and
# SIGN_PASSWORD_FILE, all in <folder>.
make_signing_certificate() { # <folder>
    SIGN_CERTIFICATE=$1/certificate.pem
    SIGN_PKCS12=$1/certificate.p12
    SIGN_PASSWORD_FILE=$1/password
    openssl rand -hex 16 >"$SIGN_PASSWORD_FILE"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quenlor test signing" \
        -addext extendedKeyUsage=codeSigning -keyout "$1/key.pem" -out "$SIGN_CERTIFICATE" \
        >"$1/openssl.log" 2>&1 || { cat "$1/openssl.log" >&2; fail "no test certificate"; }
    openssl pkcs12 -export -inkey "$1/key.pem" -in "$SIGN_CERTIFICATE" -out "$SIGN_PKCS12" \
        -passout "file:$SIGN_PASSWORD_FILE" || fail "no PKCS#12 file of the test certificate"
    rm "$1/key.pem"
}

# Every file given carries a valid signature by the test certificate.
check_signed() { # <file>...
    local file
    for file in "$@"; do
        osslsigncode verify -CAfile "$SIGN_CERTIFICATE" -in "$file" >"$WORK_DIR/verify.log" 2>&1 ||
            { cat "$WORK_DIR/verify.log" >&2; fail "$file carries no valid signature"; }
    done
    echo "signed: $(for file in "$@"; do printf '%s ' "$(basename "$file")"; done)"
}

# Every .exe in the zip, and the installer.
check_signed_deliverables() {
    local unpacked=$WORK_DIR/zip
    /usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
        "${INSTALLER%.exe}.zip" "$unpacked"
    mapfile -t exes < <(find "$unpacked" -name '*.exe')
    [ "${#exes[@]}" -eq 2 ] || fail "the zip holds ${#exes[@]} programs, not 2: ${exes[*]}"
    check_signed "${exes[@]}" "$INSTALLER"
    rm -rf "$unpacked"
}

# Runs a Windows command line as it stands, through a batch file: wine quotes an argument
# holding a space, and the installer reads /D= and the uninstaller _?= only unquoted.
# Returns its exit code; Wine's messages go to standard error. <runner> (as_bench) runs wine
# as another user.
windows_command() { # <prefix> <command line> [runner...]
    local prefix=$1 line=$2
    shift 2
    printf '@%s\r\nexit /b %%errorlevel%%\r\n' "$line" >"$prefix/drive_c/quenlor-command.bat"
    "$@" wine cmd /c 'C:\quenlor-command.bat' >>"$WORK_DIR/windows-command.log"
}

# The installed folder's files and their sums, and the Apps entry's version.
installed_state() {
    (cd "$INSTALL_DIR" && find . -type f -print0 | sort -z | xargs -0 sha256sum)
    apps_entry | grep DisplayVersion || echo "no Apps entry"
}

# While <program> of the installed folder runs, an upgrade and an uninstall, silent and
# interactive, exit 32 and change nothing: not a file, not the Apps entry. Interactively,
# the box asks in French and English to close it, and its Cancel ends the run.
check_refused_while_running() { # <program>
    local program=$1 before status run trace box pid
    local folder='C:\Program Files\Quenlor'
    # _?= comes last, and runs the uninstaller in place, so that its exit code is its own.
    local uninstaller="\"$folder\\Uninstall.exe\"" in_place="_?=$folder"
    before=$(installed_state)
    for run in setup-silent setup-asked uninstall-silent uninstall-asked; do
        status=0
        case $run in
            setup-silent) wine "$INSTALLER" /S >>"$WORK_DIR/install.log" 2>&1 || status=$? ;;
            uninstall-silent)
                windows_command "$WINEPREFIX" "$uninstaller /S $in_place" 2>>"$WORK_DIR/install.log" ||
                    status=$?
                ;;
            *)
                trace=$WORK_DIR/$run.trace
                if [ "$run" = setup-asked ]; then
                    WINEDEBUG=+msgbox wine "$INSTALLER" >>"$WORK_DIR/install.log" 2>"$trace" &
                else
                    WINEDEBUG=+msgbox windows_command "$WINEPREFIX" "$uninstaller $in_place" \
                        2>"$trace" &
                fi
                pid=$!
                READER_PIDS+=("$pid")
                box=$(await_window '^Quenlor .* (Setup|Uninstall)$') || {
                    kill "$pid" 2>/dev/null || true
                    wait "$pid" || status=$?
                    fail "$run while $program runs: no box (exit $status): $(tail -c 2000 "$trace")"
                }
                sleep 1
                xdotool windowfocus --sync "$box" key Escape
                timeout 20 tail --pid="$pid" -f /dev/null || fail "$run: the box did not close"
                wait "$pid" || status=$?
                # The trace doubles the folder's backslashes and escapes "é".
                grep -aqF "$program est ouvert depuis C:" "$trace" &&
                    grep -aqF 'Quenlor. Fermez-le, puis choisissez R\00e9essayer' "$trace" ||
                    fail "$run while $program runs: no French text in the box"
                grep -aqF "$program is running from C:" "$trace" &&
                    grep -aqF 'Quenlor. Close it, then choose Retry; Cancel changes nothing.' "$trace" ||
                    fail "$run while $program runs: no English text in the box"
                ;;
        esac
        [ "$status" -eq 32 ] || fail "$run while $program runs exited $status, not 32"
        [ "$(installed_state)" = "$before" ] || fail "$run while $program runs changed the install"
        echo "$run while $program runs: exit 32, nothing changed"
    done
}
