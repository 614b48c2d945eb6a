#!/usr/bin/env bash
# Builds the Debian packages as Debian builds its own (`make package`): the compiler and
# linker flags from dpkg-buildflags with every hardening feature, and reproducibly: the
# dates from SOURCE_DATE_EPOCH (the last commit's time when it is not set), the source and
# build folders mapped out of the programs (-ffile-prefix-map), no compiler cache. Only the
# packaged targets are built, in a folder of their own; the .deb files land in
# <build dir>/package.
#
#   scripts/build-package.sh <build dir> [<source dir>]
set -euo pipefail
build=${1:?usage: scripts/build-package.sh <build dir> [<source dir>]}
source_dir=$(cd "${2:-$(dirname "$0")/..}" && pwd)
mkdir -p "$build"
build=$(cd "$build" && pwd)
jobs=${JOBS:-$(nproc)}

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct) || {
        echo "build-package: no SOURCE_DATE_EPOCH and no git history in $source_dir" >&2
        exit 1
    }
fi
export SOURCE_DATE_EPOCH
# rcc and dpkg read the environment; the build must not depend on the caller's locale or zone.
export TZ=UTC LC_ALL=C.UTF-8

# dpkg-buildflags maps the folder it runs in (the sources) to "."; the build folder, wherever
# it is, becomes "build". GCC takes the last map that matches, so the build folder's comes
# after the sources' even when it lies inside them.
cd "$source_dir"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
# dpkg 1.22 (Debian 13) adds stack clash protection and, on amd64, control-flow protection to
# hardening=+all; an older dpkg-buildflags gets them here.
[[ $cxxflags == *-fstack-clash-protection* ]] || cxxflags+=" -fstack-clash-protection"
if [[ $(dpkg-architecture -qDEB_HOST_ARCH) == amd64 && $cxxflags != *-fcf-protection* ]]; then
    cxxflags+=" -fcf-protection"
fi
[[ $cxxflags == *-ffile-prefix-map=* ]] || cxxflags+=" -ffile-prefix-map=$source_dir=."
cxxflags+=" -ffile-prefix-map=$build=build"

cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLOR_TESTS=OFF \
    "-DCMAKE_CXX_FLAGS=$cppflags $cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags"
# What was built for another SOURCE_DATE_EPOCH carries its dates (rcc's file times, the
# manual pages'), and nothing else tells make to build it again: start afresh then.
stamp=$build/source-date-epoch
if [[ -f $stamp && $(<"$stamp") != "$SOURCE_DATE_EPOCH" ]]; then
    cmake --build "$build" --target clean
fi
echo "$SOURCE_DATE_EPOCH" >"$stamp"
cmake --build "$build" -j "$jobs" --target quenlor p06-read p06-sim quenlor_install_data
rm -rf "$build/package"
(cd "$build" && cpack --config CPackConfig.cmake -B package)
