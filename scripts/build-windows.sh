#!/usr/bin/env bash
# The Windows program cross-built with mingw-w64 against Qt for Windows (made or taken from
# its cache by scripts/qt-for-windows.sh), with its tests; `package` also makes the zip, the
# NSIS installer and their SHA256SUMS in the build folder.
#
#   scripts/build-windows.sh [build folder, default build-win] [package]
#
# SIGN_PKCS12=<.p12/.pfx file> signs the programs, the uninstaller and the installer with
# that certificate and key (scripts/sign-windows.sh), SIGN_PASSWORD_FILE=<file> holding its
# password and SIGN_TIMESTAMP_URL=<RFC 3161 server> if needed; without it nothing is signed.
#
# Prints the Qt prefix on its last line, for scripts/test-windows.sh.
set -euo pipefail
# The signing files as the caller names them, before the change of folder.
absolute() { if [ -n "${1:-}" ]; then realpath -e -- "$1"; fi; }
SIGN_PKCS12=$(absolute "${SIGN_PKCS12:-}") || { echo "build-windows: no file $SIGN_PKCS12" >&2; exit 1; }
SIGN_PASSWORD_FILE=$(absolute "${SIGN_PASSWORD_FILE:-}") ||
    { echo "build-windows: no file $SIGN_PASSWORD_FILE" >&2; exit 1; }
cd "$(dirname "$0")/.."
SOURCE_DIR=$PWD
BUILD_DIR=${1:-build-win}
JOBS=${JOBS:-$(nproc)}

# A Qt that cannot be had fails the build here, loudly: the Windows step is never skipped.
QT_PREFIX=$(scripts/qt-for-windows.sh | tail -n 1)
[ -f "$QT_PREFIX/.complete" ] || { echo "build-windows: no Qt for Windows" >&2; exit 1; }

mkdir -p "$BUILD_DIR"
# Our toolchain looks for packages in the target's tree only; Qt's own toolchain file loads
# it and adds Qt's prefix to that tree.
cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" \
    -DCMAKE_TOOLCHAIN_FILE="$QT_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$SOURCE_DIR/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLOR_UI=ON -DQUENLOR_SIGN_PKCS12="$SIGN_PKCS12" \
    -DQUENLOR_SIGN_PASSWORD_FILE="$SIGN_PASSWORD_FILE" \
    -DQUENLOR_SIGN_TIMESTAMP_URL="${SIGN_TIMESTAMP_URL:-}" >"$BUILD_DIR/configure.log" 2>&1 ||
    { cat "$BUILD_DIR/configure.log" >&2; exit 1; }
cmake --build "$BUILD_DIR" -j "$JOBS" >&2

if [ "${2:-}" = package ]; then
    (cd "$BUILD_DIR" && cpack -G "ZIP;NSIS" >cpack.log 2>&1) ||
        { cat "$BUILD_DIR/cpack.log" >&2; exit 1; }
    # The sums a technician checks a copy with (the README shows how, on Windows): this
    # build's two files only, whatever older versions the folder still holds.
    name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$BUILD_DIR/CPackConfig.cmake")
    [ -n "$name" ] || { echo "build-windows: no package name in CPackConfig.cmake" >&2; exit 1; }
    (cd "$BUILD_DIR" && sha256sum "$name.zip" "$name.exe" >SHA256SUMS)
    ls -l "$BUILD_DIR/$name.zip" "$BUILD_DIR/$name.exe" "$BUILD_DIR/SHA256SUMS" >&2
fi
echo "$QT_PREFIX"
