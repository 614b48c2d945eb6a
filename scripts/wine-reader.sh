# p06-read.exe under Wine, for scripts/test-windows.sh (sourced):
#   start_echo_port          a pseudo-terminal that sends back every byte, as Wine's COM8,
#                            for the unit tests of the Win32 serial line
#   run_reader_integration   p06-read.exe reads the unit on COM7, gives up on the silent line
#                            and lists the registry's ports with the adapter's chosen

# A pseudo-terminal that sends back every byte it receives. The helper keeps its own slave
# descriptor open so that the line survives the test closing and reopening the port.
start_echo_port() {
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
    local deadline=$((SECONDS + 30))
    while [ ! -s "$WORK_DIR/echo-pty" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
    [ -s "$WORK_DIR/echo-pty" ] || { echo "the echo helper did not start" >&2; exit 1; }
    ECHO_COM=$(echo "$ECHO_PORT" | tr '[:upper:]' '[:lower:]')
    ln -sf "$(cat "$WORK_DIR/echo-pty")" "$WINEPREFIX/dosdevices/$ECHO_COM"
}

run_reader_integration() {
    # Runs p06-read.exe with the pty shim, output to <name>.out and <name>.err.
    reader() {
        local name=$1
        shift
        LD_PRELOAD=$PTY_SHIM wine "$P06_READ" "$@" >"$WORK_DIR/$name.out" 2>"$WORK_DIR/$name.err"
    }
    show() {
        echo "-- p06-read.exe $2: exit $3"
        cat "$WORK_DIR/$1.out" "$WORK_DIR/$1.err"
    }

    # The silent line spends its wait and the end of the conversation in time-outs: it runs
    # beside the others.
    reader silent --port "$SILENT_COM" --json --wait 1 --lang en &
    silent_pid=$!
    READER_PIDS+=("$silent_pid")

    read_status=0
    reader read --port "$UNIT_COM" --json || read_status=$?
    show read "--port $UNIT_COM --json" "$read_status"
    [ "$read_status" -eq 0 ] || fail "reading the unit on COM$UNIT_COM exited $read_status"
    [ ! -s "$WORK_DIR/read.err" ] || fail "reading the unit wrote on standard error"
    /usr/bin/python3 - "$WORK_DIR/read.out" "$UNIT_COM" "$UNIT_SERIAL" "$UNIT_CIRCUIT" \
        "$UNIT_SOFTWARE" <<'EOF' || fail "the JSON of the reading is not the unit's"
import json, sys
path, port, serial, circuit, software = sys.argv[1:]
with open(path, encoding="ascii") as f:
    report = json.load(f)
expected = {"port": int(port), "type": "P06", "serialNumber": int(serial),
            "circuitVersion": int(circuit), "softwareVersion": software, "result": "read"}
wrong = [f"{k} is {report.get(k)!r}, not {v!r}" for k, v in expected.items() if report.get(k) != v]
wrong += [f"status of {k} is {v}" for k, v in report["status"].items() if v != 0]
for line in wrong:
    print(line, file=sys.stderr)
sys.exit(1 if wrong else 0)
EOF

    # Discovery never opens a port: the registry alone, the adapter's value marked and chosen.
    list_status=0
    reader list --list || list_status=$?
    show list --list "$list_status"
    [ "$list_status" -eq 0 ] || fail "--list exited $list_status"
    # Windows consoles end lines with CR LF.
    tr -d '\r' <"$WORK_DIR/list.out" >"$WORK_DIR/list.txt"
    grep -qx '\* COM9 : ORVANEX' "$WORK_DIR/list.txt" || fail "--list does not choose COM9 : ORVANEX"
    [ "$(grep -c '^\* ' "$WORK_DIR/list.txt")" -eq 1 ] || fail "--list marks more than one port"
    for number in "$UNIT_COM" "$SILENT_COM"; do
        grep -qx "  COM$number" "$WORK_DIR/list.txt" || fail "--list does not show COM$number"
    done

    silent_status=0
    wait "$silent_pid" || silent_status=$?
    READER_PIDS=()
    show silent "--port $SILENT_COM --json --wait 1" "$silent_status"
    [ "$silent_status" -eq 3 ] || fail "the silent line exited $silent_status, not 3"
    grep -q '"result": "no-answer"' "$WORK_DIR/silent.out" || fail "the silent line is not no-answer"
    grep -q "no answer from the unit on COM$SILENT_COM within 1 s" "$WORK_DIR/silent.err" ||
        fail "the silent line's message is missing"
}
