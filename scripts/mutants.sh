#!/usr/bin/env bash
# Whether the tests see plausible faults: each mutant below spoils the code in one line (a
# sed expression), and the test named beside it must then fail. A mutant that passes is a
# fault the suite lets through; one whose sed changes nothing (the code moved on), that does
# not build or whose test is not found is broken. Both count as not caught.
#
#   scripts/mutants.sh [mirror folder]    (make test-mutants; default build-mutants)
#   scripts/mutants.sh --applies           (make mutants-apply, a stage of make test)
#
# --applies only checks, without building, that each sed still changes its file: a refactor
# that leaves a mutant matching nothing fails at once, not at the next mutation run.
#
# The mutants are made in a mirror of this tree, never in the tree itself: <mirror>/src gets
# the files whose bytes differ from the tree's, and <mirror>/build is its own build, so every
# run after the first (a whole build, minutes on 2 cores) rebuilds only what changed. A file
# mutated when the run is stopped is put back by the trap, or by the next run's copy.
set -uo pipefail
mode=run
[[ ${1:-} == --applies ]] && mode=applies && shift
mirror=$(realpath -m "${1:-$(dirname "$0")/../build-mutants}")
cd "$(dirname "$0")/.."
src=$mirror/src build=$mirror/build jobs=${JOBS:-2}
files=() seds=() tests=() targets=()
mutant() { files+=("$1") seds+=("$2") tests+=("$3") targets+=("${4:-unit_tests}"); }

# The file, the sed expression, the ctest -R regex of the test that must fail, and the build
# target that holds it when it is not unit_tests.
repeat='^ReaderProgram\.Repeat' link='^LinkTest\.' reports='^JsonReport\.'
settings='^(ParseLanguageSetting|ReadLanguageSetting|WriteLanguageSetting)\.'
mutant cli/RepeatedReading.cpp 's/ + v\.circuitVersion + .\\n.//' "$repeat"
mutant cli/RepeatedReading.cpp 's/ + .\\n. + v\.softwareVersion//' "$repeat"
mutant cli/RepeatedReading.cpp 's/ + v\.serialNumber + .\\n.//' "$repeat"
mutant cli/RepeatedReading.cpp 's/kSilentChecksForGone = 2/kSilentChecksForGone = 3/' "$repeat"
mutant cli/RepeatedReading.cpp 's/kRefusalsForRefusing = 2/kRefusalsForRefusing = 1/' "$repeat"
mutant cli/RepeatedReading.cpp 's/ || end == kStatusNothingReceived;/;/' "$repeat"
mutant cli/RepeatedReading.cpp 's/if (!unit.serial \&\& !unbroken) return std::nullopt;//' "$repeat"
mutant cli/RepeatedReading.cpp 's/AskIdentity(link, !unit.serial)/AskIdentity(link, false)/' "$repeat"
mutant cli/RepeatedReading.cpp 's/if (!answer.identified) continue;/if (!answer.identified) break;/' \
    "$repeat"
mutant cli/ReaderProgram.cpp 's/if (port == 0) tracer.OpenInstead(options.device);//' \
    '^ReaderProgram\.PortOptionBypassesDiscovery$'
mutant cli/ReaderProgram.cpp 's/    system.setLastWords({}, {});//' '^ReaderProgram\.Stop'
mutant cli/ReaderMessages.cpp 's/if (IsNotASerialLine(code))/if (false)/' \
    '^ReaderProgram\.EachOutcome'
mutant platform/posix/LinuxDevicePath.cpp "s/if (devicePath.starts_with('\/'))/if (false)/" \
    '^LinuxDevicePath\.'
mutant cli/RecordWriter.cpp 's/            Put(kept_.front());//' "$repeat"
mutant cli/RecordWriter.cpp \
    's/Full \&\& logPath_.empty())/Full \&\& !logPath_.empty())/' '^OutputQueue\.'
mutant cli/OutputQueue.cpp \
    's/failed_ || (texts_.empty() \&\& !writing_);/failed_ || texts_.empty();/' '^OutputQueue\.'
mutant cli/RecordWriter.h 's/kLockPatienceMs = 3000/kLockPatienceMs = 0/' "$repeat"
mutant core/ReadingStep.cpp \
    's/if (!QuietBefore(record_.typeStatus))/if (!QuietBefore(record_.circuitStatus))/' \
    '^(ReadingStep|PacedReading)'
mutant app/TDlgLectureInformation.cpp 's/Name(Translated(kReadName/Name(Translated(kMemoName/' \
    '^Accessibility_test$' Accessibility_test
mutant platform/posix/PosixFileAccess.cpp 's/FileCalls()\.fsync(creation\.data) != 0 ||/false ||/' \
    "$settings"
mutant platform/posix/PosixRecordLog.cpp \
    's/    if (fd >= 0 || errno != EACCES) return fd;/    return fd;/' '^RecordLog\.'
mutant platform/posix/PosixRecordLog.cpp 's/ || file_access::FileCalls().fdatasync(fd) != 0//' \
    '^RecordLog\.'
mutant platform/posix/PosixTextCompare.cpp 's/return markA ? -1 : 1;/return markA ? 1 : -1;/' \
    '^PosixTextCompare\.'
mutant link/Com_p06.cpp 's/digit + 0x37/digit + 0x57/' "$link"
mutant link/Com_p06.cpp 's/return code <= 0x39 ?/return code < 0x39 ?/' "$link"
mutant link/Com_p06.cpp 's/SerialTimeouts{500, 100, 1000,/SerialTimeouts{500, 100, 900,/' "$link"
mutant link/Com_p06.cpp 's/fDtrControl = kDtrControlDisable/fDtrControl = kDtrControlEnable/' "$link"
mutant link/Com_p06.cpp 's/{19200, 0x40}/{19200, 0x41}/' "$link"
mutant link/Com_p06.cpp 's/kPurgeWaitMs = 1000/kPurgeWaitMs = 500/' "$link"
mutant core/SettingsFile.cpp 's/"0X", "\$", "x"/"0X", "x"/' "$settings"
mutant core/SettingsFile.cpp 's/negative = value\.front() == .-./negative = false/' "$settings"
mutant core/SettingsFile.cpp 's/"%s=%i%s\\n\\r"/"%s=%i%s\\r\\n"/' "$settings"
mutant cli/CsvReport.cpp "s/quote = quote || c == ',' || /quote = quote || /" "$reports"
mutant cli/CsvReport.cpp "s/if (c == '\"') text += '\"';//" "$reports"
mutant cli/CsvReport.cpp 's/"=+-@\\t\\r"/"=+-\\t\\r"/' "$reports"
mutant cli/JsonReport.cpp 's/byte >= 0x20 && byte < 0x7F/byte >= 0x20 \&\& byte <= 0x7F/' "$reports"
mutant platform/posix/LinuxDevicePath.cpp 's/{"ttyUSB", 33}/{"ttyUSB", 32}/' '^LinuxDevicePath\.'
mutant dialogs/PortDiscovery.cpp 's/kAdapterMark = " : ORVANEX"/kAdapterMark = " :ORVANEX"/' \
    '^PortDiscovery'
mutant platform/PerUserCopyPath.cpp "s/ || path\[length\] != L'\\\\\\\\'//" '^PerUserCopyPath\.'

if [[ $mode == applies ]]; then
    stale=0
    for i in "${!files[@]}"; do
        if [[ ! -f ${files[$i]} ]] || sed -e "${seds[$i]}" "${files[$i]}" | cmp -s - "${files[$i]}"; then
            echo "mutants: STALE, the sed changes nothing: ${files[$i]}  ${seds[$i]}"
            stale=$((stale + 1))
        fi
    done
    echo "mutants: $((${#files[@]} - stale))/${#files[@]} still apply"
    exit $((stale > 0))
fi

current=
restore() { if [[ -n $current ]]; then cp "$mirror/saved" "$src/$current"; fi; current=; }
trap restore EXIT
trap 'restore; echo "mutants: stopped"; exit 130' INT TERM
started=$SECONDS

# The mirror: changed files copied (with a new time, so they are rebuilt), gone ones removed.
mkdir -p "$src" "$build"
git ls-files -co --exclude-standard | LC_ALL=C sort >"$mirror/files"
while IFS= read -r f; do
    [[ -f $f ]] && ! cmp -s "$f" "$src/$f" && mkdir -p "$src/$(dirname "$f")" && cp "$f" "$src/$f"
done <"$mirror/files"
(cd "$src" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) |
    LC_ALL=C comm -23 - "$mirror/files" | while IFS= read -r f; do rm -f "$src/$f"; done
generator=() && command -v ninja >/dev/null && generator=(-G Ninja)
[[ -f $build/CMakeCache.txt ]] || cmake -S "$src" -B "$build" "${generator[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$mirror/configure.log" || exit 1
run_tests() {
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --timeout 120 -R "$1" >"$mirror/test.log" 2>&1
}

# Unmutated, every test named here must build and pass, or nothing below means anything.
all=$(printf '%s\n' "${tests[@]}" | sort -u | paste -sd'|')
if ! cmake --build "$build" -j "$jobs" --target $(printf '%s\n' "${targets[@]}" | sort -u) \
    >"$mirror/build.log" 2>&1 || ! run_tests "$all"; then
    echo "mutants: the tests fail unmutated; see $mirror/build.log and $mirror/test.log"
    exit 1
fi

caught=0
for i in "${!files[@]}"; do
    f=${files[$i]}
    cp "$src/$f" "$mirror/saved" && current=$f
    sed -i -e "${seds[$i]}" "$src/$f"
    if cmp -s "$src/$f" "$mirror/saved"; then verdict="BROKEN, the sed changes nothing"
    elif ! cmake --build "$build" -j "$jobs" --target "${targets[$i]}" >"$mirror/build.log" 2>&1
    then verdict="BROKEN, does not build"
    elif [[ $(ctest --test-dir "$build" -N -R "${tests[$i]}" | grep -c 'Test *#') == 0 ]]; then
        verdict="BROKEN, no test matches"
    elif run_tests "${tests[$i]}"; then verdict="SURVIVED"
    else verdict="caught" && caught=$((caught + 1)); fi
    restore
    printf '%-32s %s  %s  (%s)\n' "$verdict" "$f" "${seds[$i]}" "${tests[$i]}"
done
echo "mutants: $caught/${#files[@]} caught in $((SECONDS - started)) s"
[[ $caught -eq ${#files[@]} ]]
