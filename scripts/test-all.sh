#!/usr/bin/env bash
# Every test, as `make test` runs them: one apt run for all the packages, then Qt for Windows
# in the background at idle priority (the longest build, needed only by the last stage) while
# the native stages run in order. Each stage prints a line when it starts and when it ends,
# with its time, and a table of all of them closes the run. The first failing stage ends it.
#
#   scripts/test-all.sh        (MAKE, JOBS and the Makefile's variables come from make)
#
# Stopping the run (Ctrl+C, or a signal from CI) stops the background build with it; the
# build's cache lock goes with its processes, so the next run resumes the build.
set -uo pipefail
cd "$(dirname "$0")/.."
MAKE=${MAKE:-make}

started=$SECONDS
qt_pid=
qt_tail_pid=
qt_log=$(mktemp "${TMPDIR:-/tmp}/quenlor-qt.XXXXXX")
stages=()

stop_background() {
    if [[ -n $qt_pid ]] && kill -0 "$qt_pid" 2>/dev/null; then
        kill -- "-$qt_pid" 2>/dev/null
        wait "$qt_pid" 2>/dev/null
    fi
    if [[ -n $qt_tail_pid ]]; then
        kill "$qt_tail_pid" 2>/dev/null
        wait "$qt_tail_pid" 2>/dev/null
    fi
    qt_pid= qt_tail_pid=
    rm -f "$qt_log" "$qt_log.end"
}
trap stop_background EXIT
trap 'echo "== stopped"; exit 130' INT
trap 'echo "== stopped"; exit 143' TERM

clock() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }

summary() {
    echo
    echo "== Stages"
    printf '  %-22s %8s  %s\n' stage time result
    local row
    for row in "${stages[@]}"; do
        IFS='|' read -r name time result <<<"$row"
        printf '  %-22s %8s  %s\n' "$name" "$time" "$result"
    done
    printf '  %-22s %8s\n' total "$(clock $((SECONDS - started)))"
}

# stage NAME COMMAND...: runs one stage, records its time, and ends the run if it fails.
stage() {
    local name=$1 begin=$SECONDS status
    shift
    echo "== $name: started at $(clock $((begin - started)))"
    "$@"
    status=$?
    local took
    took=$(clock $((SECONDS - begin)))
    if ((status != 0)); then
        stages+=("$name|$took|FAILED (exit $status)")
        echo "== $name: FAILED after $took"
        summary
        exit "$status"
    fi
    stages+=("$name|$took|passed")
    echo "== $name: passed in $took"
}

# The background build writes to a file, which is followed into this log; its own lines say
# where it stands at least once a minute.
start_qt() {
    # The build notes when it ended, for the table: the wait for it comes later.
    setsid chrt --idle 0 bash -c 'scripts/qt-for-windows.sh; s=$?; date +%s >"$0.end"; exit $s' \
        "$qt_log" >"$qt_log" 2>&1 &
    qt_pid=$!
    tail -n +1 -f --pid="$qt_pid" "$qt_log" &
    qt_tail_pid=$!
    qt_begin=$(date +%s)
    echo "== Qt for Windows: started in the background at $(clock $((SECONDS - started)))"
}

wait_qt() {
    local status
    wait "$qt_pid"
    status=$?
    wait "$qt_tail_pid" 2>/dev/null
    qt_pid= qt_tail_pid=
    if ((status != 0)); then
        echo "Qt for Windows could not be built (exit $status):"
        tail -n 20 "$qt_log"
        return "$status"
    fi
    local took
    took=$(clock $(($(cat "$qt_log.end") - qt_begin)))
    stages+=("Qt for Windows (bg)|$took|built or found")
    echo "Qt for Windows: ready, $took after its start"
}

stage "packages" "$MAKE" --no-print-directory deps-all
start_qt
stage "format" "$MAKE" --no-print-directory format-check
stage "mutants still apply" "$MAKE" --no-print-directory mutants-apply
stage "native suite" "$MAKE" --no-print-directory check
stage "package" "$MAKE" --no-print-directory test-package
stage "sanitizers" "$MAKE" --no-print-directory test-sanitize
stage "fuzz" "$MAKE" --no-print-directory test-fuzz
# The suite and package checks again on Debian 13, in a chroot; on Debian 13 itself the
# stages above already ran there.
if [[ $(. /etc/os-release && echo "${VERSION_CODENAME:-}") == trixie ]]; then
    echo "== Debian 13 (chroot): left out, this machine runs Debian 13"
else
    stage "Debian 13 (chroot)" "$MAKE" --no-print-directory test-debian13
fi
stage "Qt for Windows (wait)" wait_qt
stage "Windows suites" "$MAKE" --no-print-directory test-windows
summary
