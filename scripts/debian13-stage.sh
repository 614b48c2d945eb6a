#!/usr/bin/env bash
# The native suite and the package checks on Debian 13 "trixie", in a chroot made by
# debootstrap (minbase) from the machine's own Debian mirror, so that a Debian 12 machine also
# tests the next release (Qt 6.8, GCC 14, Python 3.13, lintian and appstream of trixie).
#
#   scripts/debian13-stage.sh          (as root, or through sudo; `make test-debian13`)
#
# The chroot gets a shallow clone of the last commit (what CI tests: uncommitted changes stay
# out), installs what `make deps` and the package targets install, builds, and runs the suite
# as `make check` does, then `make test-package`. The tests run in network, mount and process
# namespaces of their own: Xvfb's displays and sockets cannot meet the host's, the mounts
# (/proc, /sys, a /dev with its own devpts) end with the namespace even if this script is
# killed, and so does whatever a test leaves running.
#
# Cache, in $QUENLOR_CACHE (default ${XDG_CACHE_HOME:-~/.cache}/quenlor), as for Qt for
# Windows: the apt archives (debian-trixie-apt/), and the root file system with the packages
# installed (debian-trixie-amd64.tar.zst), remade when older than a week. A warm run unpacks it
# and installs only what the lists gained since. One run at a time (a lock beside it).
#
# DEBIAN13_CTEST_ARGS (default "--label-exclude slow") goes to ctest: the slow pseudo-terminal
# tables run in the native stage on the host already.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE_DIR=$PWD
SUITE=trixie
ARCH=$(dpkg --print-architecture)
JOBS=${JOBS:-$(nproc)}
CTEST_ARGS=${DEBIAN13_CTEST_ARGS---label-exclude slow}

fail() {
    echo "debian13: $*" >&2
    exit 1
}

if [[ $(id -u) -ne 0 ]]; then
    exec sudo --preserve-env=JOBS,QUENLOR_CACHE,DEBIAN13_CTEST_ARGS "$0" "$@"
fi

clock() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }
export DEBIAN13_STARTED=${DEBIAN13_STARTED:-$(date +%s)}
step() { echo "== debian13 [$(clock $(($(date +%s) - DEBIAN13_STARTED)))]: $*"; }

# -----------------------------------------------------------------------------------------
# Inside: the part that runs in the private mount namespace (see the end of the script).
if [[ ${1:-} == --inside ]]; then
    root=$2 apt_cache=$3 base=$4 fresh=$5
    mounted=()
    unmount_all() {
        local i
        for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
            umount -l "${mounted[i]}" 2>/dev/null || true
        done
        mounted=()
    }
    trap unmount_all EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    mnt() { # mnt TARGET MOUNT-ARGS...: mounts, and notes the path for unmount_all
        local target=$1
        shift
        [[ -e $target ]] || mkdir -p "$target"
        mount "$@" "$target"
        mounted+=("$target")
    }

    mnt "$root/proc" -t proc proc
    mnt "$root/sys" -t sysfs -o ro sysfs
    mnt "$root/dev" -t tmpfs -o mode=0755,nosuid tmpfs
    for node in null zero full random urandom tty; do
        touch "$root/dev/$node"
        mnt "$root/dev/$node" --bind "/dev/$node"
    done
    # A devpts of its own: the pseudo-terminal tests' ptys are the chroot's alone.
    mnt "$root/dev/pts" -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts
    ln -s pts/ptmx "$root/dev/ptmx"
    mnt "$root/dev/shm" -t tmpfs -o mode=1777,nosuid,nodev tmpfs
    ln -s /proc/self/fd "$root/dev/fd"
    # /tmp stays on the same file system as /src: CMake 3.31's CPack gives another
    # Installed-Size on a tmpfs, and the package checks build again under /tmp and compare.
    chmod 1777 "$root/tmp"
    mnt "$root/var/cache/apt/archives" --bind "$apt_cache"
    cp /etc/resolv.conf "$root/etc/resolv.conf"

    in_root() {
        chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
            LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive JOBS="$JOBS" \
            SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" "$@"
    }

    step "packages (make deps-package-checks; log in the chroot's /var/log/quenlor-apt.log)"
    in_root apt-get update -qq
    if ! in_root make -C /src --no-print-directory deps-package-checks \
        >"$root/var/log/quenlor-apt.log" 2>&1; then
        tail -n 40 "$root/var/log/quenlor-apt.log"
        exit 1
    fi
    grep '^Installing:' "$root/var/log/quenlor-apt.log" || true
    if [[ $fresh == 1 ]]; then
        step "keeping the root file system in $base"
        tar --one-file-system --exclude=./src --exclude=./var/cache/apt/archives -C "$root" \
            -I 'zstd -T0 -q' -cf "$base.new" .
        mv "$base.new" "$base"
    fi

    # From here on, no network: a loopback of its own in a new network namespace.
    step "build and native suite (ctest $CTEST_ARGS)"
    unshare --net -- sh -c 'ip link set lo up 2>/dev/null || true; exec "$@"' sh \
        chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 JOBS="$JOBS" SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" \
        sh -c 'cd /src && make --no-print-directory check CTEST_ARGS="$1"' sh "$CTEST_ARGS"
    step "package checks (make test-package)"
    unshare --net -- sh -c 'ip link set lo up 2>/dev/null || true; exec "$@"' sh \
        chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 JOBS="$JOBS" SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" \
        make -C /src --no-print-directory test-package
    step "passed"
    exit 0
fi

# -----------------------------------------------------------------------------------------
# Outside: the cache, the root file system, the source; then the namespaces.
for tool in debootstrap unshare chroot git zstd; do
    command -v "$tool" >/dev/null || fail "$tool is missing (make test-debian13 installs it)"
done
mirror=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' |
    grep -v -- '-security' | head -n 1) || true
if [[ -z $mirror ]]; then
    mirror=$(grep -hs '^deb ' /etc/apt/sources.list | awk '{print $2}' |
        grep -v -- '-security' | head -n 1) || true
fi
[[ -n $mirror ]] || fail "no Debian mirror in the machine's apt sources"
keyring=/usr/share/keyrings/debian-archive-trixie-stable.gpg
[[ -f $keyring ]] || keyring=/usr/share/keyrings/debian-archive-keyring.gpg

CACHE=${QUENLOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quenlor}
base=$CACHE/debian-$SUITE-$ARCH.tar.zst
apt_cache=$CACHE/debian-$SUITE-apt
mkdir -p "$apt_cache/partial"
exec 9>"$CACHE/debian-$SUITE.lock"
flock 9

work=$(mktemp -d "${TMPDIR:-/var/tmp}/quenlor-debian13.XXXXXX")
root=$work/root
inside_pid=
cleanup() {
    if [[ -n $inside_pid ]] && kill -0 "$inside_pid" 2>/dev/null; then
        kill "$inside_pid" 2>/dev/null || true
        wait "$inside_pid" 2>/dev/null || true
    fi
    # The mounts live in the inner mount namespace and end with it; a leftover is refused
    # here rather than removed through.
    if findmnt -rno TARGET | grep -q "^$root/"; then
        echo "debian13: mounts remain under $root; left in place" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
trap 'echo "== debian13: stopped"; exit 130' INT
trap 'echo "== debian13: stopped"; exit 143' TERM

step "started (mirror $mirror, cache $CACHE)"
fresh=0
mkdir -p "$root"
if [[ -n $(find "$base" -mtime -7 2>/dev/null) ]]; then
    step "unpacking $base"
    tar -C "$root" -I 'zstd -q' -xf "$base"
else
    fresh=1
    step "debootstrap --variant=minbase $SUITE"
    debootstrap --variant=minbase --keyring="$keyring" --cache-dir="$apt_cache" \
        --include=make,ca-certificates "$SUITE" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 30 "$work/debootstrap.log"; fail "debootstrap failed"; }
    # No service starts inside the chroot.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
fi

step "source: shallow clone of $(git rev-parse --short HEAD)"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH JOBS
rm -rf "$root/src"
git clone -q --no-local --depth 1 "file://$SOURCE_DIR" "$root/src"
git -C "$root/src" checkout -q "$(git rev-parse HEAD)"

# A mount namespace (every mount goes with it), a process namespace (every process goes with
# it) and, for the tests, a network namespace.
unshare --mount --propagation private --pid --fork --kill-child -- \
    "$0" --inside "$root" "$apt_cache" "$base" "$fresh" &
inside_pid=$!
status=0
wait "$inside_pid" || status=$?
inside_pid=
step "ended (exit $status)"
exit "$status"
