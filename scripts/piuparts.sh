#!/usr/bin/env bash
# Installs and purges the two Debian packages that `make package` built with piuparts, in a
# clean chroot of this machine's Debian release made by debootstrap from the machine's own
# mirror: first quenlor-reader alone (a production-line PC), then quenlor with it. piuparts
# fails on a package that does not install, leaves files behind on purge, or breaks the
# system. Making the chroot is most of the time: its tarball is kept in $QUENLOR_CACHE
# (default ${XDG_CACHE_HOME:-~/.cache}/quenlor) for a week, and each test unpacks it afresh.
#
#   scripts/piuparts.sh <package build dir>
set -euo pipefail
build=${1:?usage: scripts/piuparts.sh <package build dir>}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
reader_deb=$(realpath "$build/package/quenlor-reader_${version}_amd64.deb")
window_deb=$(realpath "$build/package/quenlor_${version}_amd64.deb")

mirror=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' |
    grep -v -- '-security' | head -n 1) || true
if [[ -z $mirror ]]; then
    mirror=$(grep -hs '^deb ' /etc/apt/sources.list | awk '{print $2}' |
        grep -v -- '-security' | head -n 1) || true
fi
[[ -n $mirror ]] || { echo "piuparts: no Debian mirror in the machine's apt sources" >&2; exit 1; }
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlor-piuparts.XXXXXX")
trap 'rm -rf "$work"' EXIT
options=(--distribution="$suite" --mirror="$mirror main" --no-upgrade-test
    --tmpdir="$work")

cache=${QUENLOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quenlor}
base=$cache/piuparts-$suite-$(dpkg --print-architecture).tar.gz
mkdir -p "$cache"

started=$SECONDS
if [[ -n $(find "$base" -mtime -7 2>/dev/null) ]]; then
    echo "== piuparts: quenlor-reader alone, in a $suite chroot from $base"
    piuparts "${options[@]}" --basetgz="$base" "$reader_deb"
else
    echo "== piuparts: quenlor-reader alone, in a new $suite chroot from $mirror"
    piuparts "${options[@]}" --save="$work/base.tar.gz" "$reader_deb"
    mv "$work/base.tar.gz" "$base"
fi
echo "== piuparts: quenlor with quenlor-reader"
piuparts "${options[@]}" --basetgz="$base" "$reader_deb" "$window_deb"
echo "piuparts: both packages installed and purged in $((SECONDS - started)) s"
