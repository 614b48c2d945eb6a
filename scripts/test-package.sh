#!/usr/bin/env bash
# Checks the two Debian packages that `make package` built (scripts/build-package.sh), as a
# Debian developer and a bench PC would take them: their dependencies (the reader's without
# Qt or X), lintian, hardening-check on every program, the desktop entry, the metainfo and
# the udev rule; then the packages unpacked into a scratch folder (dpkg -x: nothing is
# installed on this machine): every program's --version, bash completion through a real
# shell, the manual pages, p06-read --list, and the unpacked quenlor reading p06-sim under
# Xvfb, clicked with xdotool, with its window icon (scripts/package-desktop.sh; completion in
# scripts/package-completion.sh). Last, the packages are built again from a copy of the
# sources in another folder and must come out identical.
#
#   scripts/test-package.sh <package build dir>
set -euo pipefail

# The COM number the simulator serves as, the first one, which the port dialog offers.
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

build=${1:?usage: scripts/test-package.sh <package build dir>}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() {
    echo "test-package: FAILED: $*" >&2
    failures=$((failures + 1))
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
reader_deb=$build/package/quenlor-reader_${version}_amd64.deb
window_deb=$build/package/quenlor_${version}_amd64.deb
for deb in "$reader_deb" "$window_deb"; do
    [[ -f $deb ]] || { echo "test-package: no $deb; run make package" >&2; exit 1; }
    echo "test-package: $deb, $(stat -c %s "$deb") bytes"
    [[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "$deb: version is not $version"
done

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

echo "== dependencies"
reader_depends=$(dpkg-deb -f "$reader_deb" Depends)
window_depends=$(dpkg-deb -f "$window_deb" Depends)
echo "quenlor-reader: $reader_depends"
echo "quenlor: $window_depends"
# A production-line PC takes the reader without Qt or X.
graphical='qt|libx|xcb|libgl|libegl|libopengl|wayland|fontconfig|freetype'
dpkg -I "$reader_deb" control | grep -E -i "^(Pre-Depends|Depends|Recommends):.*($graphical)" &&
    fail "quenlor-reader depends on a Qt or X library"
[[ $window_depends == *"quenlor-reader (= $version)"* ]] ||
    fail "quenlor does not depend on quenlor-reader (= $version)"
[[ $(dpkg-deb -f "$window_deb" Recommends) == *svg* ]] ||
    fail "quenlor does not recommend Qt's SVG plugin, which draws its icon"

echo "== lintian"
# Lintian 2.122 (Debian 13) also runs "appstreamcli validate-tree", whose only warning is that
# the metainfo names no homepage: the program has no web page of its own. The metainfo is
# validated below, pedantically, with that warning alone made a note; Lintian 2.116 (Debian
# 12) knows neither the check nor, in an override, its tag.
lintian_options=(--fail-on error,warning --display-info)
if [[ -n $(lintian-explain-tags appstream-metadata-validation-failed 2>/dev/null) ]]; then
    lintian_options+=(--suppress-tags appstream-metadata-validation-failed)
fi
lintian_out=$work/lintian.out
lintian "${lintian_options[@]}" --show-overrides "$reader_deb" "$window_deb" >"$lintian_out" ||
    { cat "$lintian_out"; fail "lintian"; }
cat "$lintian_out"
# The window's spelling override takes any word: only the agreed French ones may be under it.
unexpected=$(grep '^O: quenlor: spelling-error-in-binary ' "$lintian_out" |
    grep -v -E 'spelling-error-in-binary (informations|serie) ') || true
[[ -z $unexpected ]] || fail "lintian's spelling override silences another word: $unexpected"

root=$work/root
dpkg -x "$reader_deb" "$root"
reader_files=$(dpkg-deb -c "$reader_deb")
dpkg -x "$window_deb" "$root"
for program in p06-read p06-sim; do
    objdump -p "$root/usr/bin/$program" | grep -E -i "NEEDED.*($graphical)" &&
        fail "$program is linked to a Qt or X library"
done
for file in usr/bin/p06-read usr/bin/p06-sim usr/share/man/man1/{p06-read,p06-sim}.1.gz \
    usr/lib/udev/rules.d/60-quenlor-cp210x.rules \
    usr/share/bash-completion/completions/{p06-read,p06-sim}; do
    [[ $reader_files == *" ./$file"* ]] || fail "quenlor-reader lacks /$file"
done
for file in usr/bin/quenlor usr/share/man/man1/quenlor.1.gz usr/share/man/fr/man1/quenlor.1.gz \
    usr/share/applications/org.quenlor.quenlor.desktop \
    usr/share/metainfo/org.quenlor.quenlor.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/quenlor.svg \
    usr/share/icons/hicolor/48x48/apps/quenlor.png; do
    [[ -s $root/$file && $reader_files != *" ./$file"* ]] || fail "quenlor lacks /$file"
done

echo "== hardening"
# Debian 12's C library start files carry no control-flow protection note, so no program
# linked there can: the programs are then checked for the protected entries (endbr64) that
# -fcf-protection compiles into them instead.
hardening_options=()
if ! readelf -n /usr/lib/x86_64-linux-gnu/Scrt1.o 2>/dev/null | grep -q 'x86 feature:.*IBT'; then
    hardening_options=(--nocfprotection)
    for program in quenlor p06-read p06-sim; do
        entries=$(objdump -d --no-show-raw-insn "$root/usr/bin/$program" | grep -c endbr64) ||
            fail "$program was compiled without -fcf-protection"
        echo "$program: $entries endbr64 entries"
    done
fi
# Newer devscripts (Debian 13) also check branch protection, an arm64 feature that no x86-64
# build carries; their -B skips it, and older ones, which do not check it, lack the option.
# (The help is read whole first: hardening-check --help exits 1, and pipefail would hide the
# match.)
hardening_help=$(hardening-check --help 2>&1) || true
if [[ $hardening_help == *[Bb]ranch* ]]; then
    hardening_options+=(-B)
fi
hardening-check "${hardening_options[@]}" "$root"/usr/bin/* || fail "hardening-check"

echo "== desktop entry and metainfo"
desktop_file=$root/usr/share/applications/org.quenlor.quenlor.desktop
desktop-file-validate "$desktop_file" || fail "desktop entry"
# The program has no web page of its own to name: AppStream 1.0 (Debian 13) warns when the
# metainfo names none, and is told that this is known; 0.16 (Debian 12) neither warns nor
# knows the warning's name.
metainfo_options=(--pedantic --no-net)
if [[ $(appstreamcli --version) =~ version:\ ([0-9]+) ]] && ((BASH_REMATCH[1] >= 1)); then
    metainfo_options+=(--override=url-homepage-missing=info)
fi
appstreamcli validate "${metainfo_options[@]}" "$root"/usr/share/metainfo/*.metainfo.xml ||
    fail "metainfo"
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop_file")

echo "== udev rule"
rules=$root/usr/lib/udev/rules.d/60-quenlor-cp210x.rules
if udevadm verify --help >/dev/null 2>&1; then
    udevadm verify --resolve-names=never "$rules" || fail "udevadm verify"
else
    # No udevadm verify before systemd 253: each key must be KEY[{name}]OP"value", and the
    # rule that leads to the adapter's actions must select the CP210x alone.
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
    done <"$rules"
    selector=$(grep -E 'GOTO="quenlor_cp210x"' "$rules")
    for match in 'SUBSYSTEM=="tty"' 'ATTRS{idVendor}=="10c4"' 'ATTRS{idProduct}=="ea60"'; do
        [[ $selector == *"$match"* ]] || fail "udev rule selects without $match: $selector"
    done
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
# Completion as a user types it: folders end in "/", files in a space, short options like
# their long forms.
mkdir -p "$work/typed/quenlor"
# The adapter's link leads to a character device, as under /dev/quenlor; a plain file is
# no device for --device.
ln -s /dev/null "$work/typed/quenlor/cp210x-0001"
touch "$work/typed/trace.txt"
"$source_dir/scripts/package-completion.sh" --completion "$root" "$work/typed" || fail "bash completion"

# Every manual page carries the version and a date, and names the other programs of its own
# package and of those it depends on: the reader's pages stay within quenlor-reader.
for page in "$root"/usr/share/man/man1/*.1.gz "$root"/usr/share/man/fr/man1/*.1.gz; do
    th=$(zcat "$page" | grep -m 1 '^\.TH')
    [[ $th =~ \"[^\"]*[0-9]{4}[^\"]*\"\ \"[^\"]*$version\" ]] ||
        fail "${page#"$root"}: no date and version in $th"
    self=$(basename "$page" .1.gz)
    see_also=$(zcat "$page" | sed -n '/^\.SH "\{0,1\}\(SEE ALSO\|VOIR AUSSI\)/,$p')
    others="quenlor p06-read p06-sim"
    [[ $self == quenlor ]] || others="p06-read p06-sim"
    [[ $see_also != *".BR quenlor (1)"* || $self == quenlor ]] ||
        fail "${page#"$root"} refers to quenlor(1), which is in another package"
    for other in $others; do
        [[ $other == "$self" || $see_also == *".BR ${other//-/\\-} (1)"* ]] ||
            fail "${page#"$root"} does not refer to $other(1)"
    done
done
for page in man1 fr/man1; do
    text=$(zcat "$root/usr/share/man/$page/quenlor.1.gz")
    [[ $text == *'60\-quenlor\-cp210x.rules'* && $text == *'/dev/quenlor/'* ]] ||
        fail "$page/quenlor(1) does not tell of the udev rule and /dev/quenlor"
done

"$bin/p06-sim" --com "$kCom" --dump >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
for ((tries = 0; tries < 100; tries++)); do
    [[ -s $work/sim.out ]] && break
    sleep 0.05
done
[[ -s $work/sim.out ]] || { cat "$work/sim.log" >&2; fail "p06-sim did not start"; exit 1; }
list=$("$bin/p06-read" --list) || fail "p06-read --list exits with $?"
echo "$list"
# A pseudo-terminal is no adapter: listed, not marked as the port to read.
[[ $list == "  COM$kCom"* ]] || fail "p06-read --list does not list the simulator's COM$kCom"

echo "== the unpacked quenlor reads p06-sim under Xvfb"
# The icon comes from the unpacked icon theme, as from an installed one.
XDG_DATA_DIRS=$root/usr/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share} \
    xvfb-run -a "$source_dir/scripts/package-desktop.sh" --window "$bin/quenlor" "$work/sim.log" "$wm_class" ||
    fail "quenlor exits with $?"
mkdir -p "$work/no-icon-theme"
xvfb-run -a "$source_dir/scripts/package-desktop.sh" --fallback-icon "$bin/quenlor" "$work/no-icon-theme" || fail "the built-in icon"
conversation=$(sed 's/^p06-sim: //' "$work/sim.log" | tr -s ' \n' ' ' | sed 's/ $//')
[[ $conversation == "$kConversation" ]] ||
    fail "the conversation of quenlor with p06-sim differs:"$'\n'"$conversation"

echo "== the same packages built again in another folder"
# A copy of the sources as they stand (committed or not), built under another path, on the
# same SOURCE_DATE_EPOCH. The build folder keeps its place relative to the sources, as in a
# Debian source package: the moc's includes are relative to it.
again=$work/elsewhere/quenlor-source
again_build=$again/$(realpath --relative-to="$source_dir" "$build")
mkdir -p "$again"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [[ -e $file ]] && printf '%s\0' "$file"; done |
    xargs -0 cp --parents -t "$again")
started=$SECONDS
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct)} \
    "$source_dir/scripts/build-package.sh" "$again_build" "$again" \
    >"$work/again.log" 2>&1 || { tail -n 30 "$work/again.log" >&2; fail "the second build"; }
echo "second build: $((SECONDS - started)) s"
for deb in "$reader_deb" "$window_deb"; do
    other=$again_build/package/$(basename "$deb")
    if cmp -s "$deb" "$other"; then
        echo "identical: $(basename "$deb") ($(sha256sum <"$deb" | cut -c1-16))"
    else
        fail "$(basename "$deb") differs when built in another folder"
        diffoscope --text - "$deb" "$other" | head -n 200 || true
    fi
done

echo "test-package: $failures failure(s) in ${SECONDS} s"
((failures == 0))
