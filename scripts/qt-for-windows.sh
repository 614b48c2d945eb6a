#!/usr/bin/env bash
# Qt for Windows, cross-built with mingw-w64 from Debian's own source package qt6-base, of the
# machine's own release and the same version as its qt6-base-dev: the cross build (and then
# the program's own) runs the host's moc, rcc and uic, which must be that same Qt. Debian 12
# builds Qt 6.4.2 for Windows, Debian 13 Qt 6.8.2; the prefix it prints names the version.
# The Windows program that ships is built on the oldest release deployed to, as the packages are.
#
#   scripts/qt-for-windows.sh        prints the install prefix on its last line
#
# The result is cached in $QUENLOR_CACHE (default ${XDG_CACHE_HOME:-~/.cache}/quenlor), in a
# folder named after the Qt version and a digest of the configure options and the toolchain,
# so a later run with the same options only prints the prefix. The source package comes
# through apt with a private deb-src list made from the machine's own mirror; the machine's
# apt configuration is left as it is. If the source package cannot be had, the script fails
# and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE_DIR=$PWD
JOBS=${JOBS:-$(nproc)}
TOOLCHAIN=$SOURCE_DIR/cmake/mingw-w64.cmake

fail() {
    echo "qt-for-windows: $*" >&2
    exit 1
}

# The Qt for Windows: the version of the host's qt6-base-dev, from its release's source package.
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null |
    sed 's/^[0-9]*://; s/+.*//; s/-.*//') || true
[ -n "$host_qt" ] || fail "qt6-base-dev is not installed; its moc, rcc and uic build Qt for Windows"
QT_VERSION=$host_qt
QT_SOURCE_SUITE=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$QT_SOURCE_SUITE" ] ||
    fail "/etc/os-release names no release (VERSION_CODENAME) to fetch qt6-base from"

QT_OPTIONS=(
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    -DFEATURE_tabletevent=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
)

CACHE=${QUENLOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quenlor}
KEY=$( (printf '%s\n' "${QT_OPTIONS[@]}"; grep -v '^#' "$TOOLCHAIN") | sha256sum | cut -c1-12)
PREFIX=$CACHE/qt-$QT_VERSION-mingw-$KEY
WORK=$CACHE/qt-$QT_VERSION-work

# One build at a time: a second run (CI starts one early, in the background) waits for the
# first and then finds its result.
mkdir -p "$CACHE"
exec 9>"$CACHE/qt-$QT_VERSION-mingw-$KEY.lock"
flock 9

if [ -f "$PREFIX/.complete" ]; then
    echo "$PREFIX"
    exit 0
fi
mkdir -p "$WORK/srcparts" "$WORK/lists/partial"

# ---------------------------------------------------------------------------------------------
# The source package, through a private source list on the machine's own Debian mirror.

SRC_DIR=$WORK/qtbase-everywhere-src-$QT_VERSION
if [ ! -f "$SRC_DIR/CMakeLists.txt" ]; then
    mirror=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' |
        grep -v -- '-security' | head -n 1) || true
    if [ -z "$mirror" ]; then
        mirror=$(grep -hs '^deb ' /etc/apt/sources.list | awk '{print $2}' |
            grep -v -- '-security' | head -n 1) || true
    fi
    [ -n "$mirror" ] || fail "no Debian mirror in the machine's apt sources to fetch qt6-base from"
    cat >"$WORK/srcparts/debian-src.sources" <<SOURCES
Types: deb-src
URIs: $mirror
Suites: $QT_SOURCE_SUITE
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt_private=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$WORK/srcparts"
        -o "Dir::State::Lists=$WORK/lists")
    echo "qt-for-windows: fetching the source package qt6-base from $mirror ($QT_SOURCE_SUITE)" >&2
    apt-get "${apt_private[@]}" update -qq >&2 ||
        fail "the source index of $mirror could not be fetched"
    (cd "$WORK" && apt-get "${apt_private[@]}" source --download-only \
        "qt6-base/$QT_SOURCE_SUITE" >&2) ||
        fail "Debian's source package qt6-base could not be downloaded"
    orig=$(ls "$WORK"/qt6-base_"$QT_VERSION"*.orig.tar.xz 2>/dev/null | head -n 1)
    [ -n "$orig" ] || fail "the source package has no qt6-base_$QT_VERSION*.orig.tar.xz"
    # Unpacked aside and moved into place, so that a run stopped halfway leaves no partial tree
    # that the next run would take for a whole one.
    rm -rf "$WORK/unpack"
    mkdir -p "$WORK/unpack"
    tar -xJf "$orig" -C "$WORK/unpack"
    rm -rf "$SRC_DIR"
    mv "$WORK/unpack/$(basename "$SRC_DIR")" "$SRC_DIR" || fail "$orig did not unpack into $SRC_DIR"
    rm -rf "$WORK/unpack"
fi

# ---------------------------------------------------------------------------------------------
# Configure, build and install: Core, Gui, Widgets, Test and the windows, offscreen and
# minimal platform plugins (Qt builds those three for Windows by default).

BUILD=$WORK/build-$KEY
echo "qt-for-windows: building Qt $QT_VERSION for Windows into $PREFIX" >&2

# A line a minute while the build runs, with ninja's step count ("[412/1117]"), so that a log
# never stays silent for the half hour this takes from nothing. A build stopped by a signal
# resumes from its build folder on the next run.
# The reporter only reads and prints: nothing it does, nor its end, may change the build's
# result, so it runs without errexit and the trap keeps the script's own exit status.
TICK=${QT_FOR_WINDOWS_TICK:-60}
CMAKE=${QT_FOR_WINDOWS_CMAKE:-cmake}
report_progress() {
    set +e +o pipefail
    local minutes=0 step
    while sleep "$TICK"; do
        minutes=$((minutes + 1))
        step=$(grep -ao '^\[[0-9]*/[0-9]*\]' "$WORK/build.log" 2>/dev/null | tail -n 1)
        echo "qt-for-windows: ${step:-configuring} after $minutes min" >&2
    done
}
: >"$WORK/build.log"
report_progress 9>&- &
progress_pid=$!
trap 'status=$?; kill "$progress_pid" 2>/dev/null; exit $status' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"$CMAKE" -G Ninja -S "$SRC_DIR" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" "${QT_OPTIONS[@]}" >"$WORK/configure.log" 2>&1 ||
    { tail -n 40 "$WORK/configure.log" >&2; fail "configure failed (log: $WORK/configure.log)"; }
"$CMAKE" --build "$BUILD" -j "$JOBS" >"$WORK/build.log" 2>&1 ||
    { tail -n 40 "$WORK/build.log" >&2; fail "build failed (log: $WORK/build.log)"; }
"$CMAKE" --install "$BUILD" >"$WORK/install.log" 2>&1 ||
    { tail -n 40 "$WORK/install.log" >&2; fail "install failed (log: $WORK/install.log)"; }
for f in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll \
    plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll \
    plugins/platforms/qminimal.dll; do
    [ -f "$PREFIX/$f" ] || fail "the install lacks $f"
done
rm -rf "$BUILD"
touch "$PREFIX/.complete"
echo "$PREFIX"
