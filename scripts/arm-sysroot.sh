#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Cross-builds libnorvo for ARM Linux against a private sysroot and runs the
# whole test suite as ARM code under qemu, without installing one package of
# the target's architecture on the build machine.
#
#   scripts/arm-sysroot.sh [armhf|arm64] [ctest arguments...]
#
# scripts/arm-test.sh installs the target's packages beside the build
# machine's (multiarch), which only works while both architectures' indexes
# give the same versions of each shared library; when the mirror cannot give
# the target's security index, they cannot. Here a private apt (its own
# sources, lists, cache and empty dpkg status, the target its only
# architecture) downloads the target's development packages with their
# dependencies, and dpkg-deb unpacks them into a sysroot. bookworm-security
# is used only when its index downloads. The sysroot is made once and reused
# while the package list below stays the same; remove its folder to refresh
# it. Then build-<arch>-sysroot/ is configured with cmake/<triplet>.cmake and
# NORVO_SYSROOT, built, and tested as by scripts/arm-test.sh.
#
# Environment: NORVO_SYSROOT_DIR  apt tree and sysroot
#                                 (default: /var/cache/norvo-sysroot/<arch>)
#              NORVO_BUILD_DIR    build folder (default: build-<arch>-sysroot)
#              JOBS               build parallelism (default: all cores)
#
# Exit status 75: the mirror could not give the target's main package index.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/arm-target.sh
source "$root/scripts/arm-target.sh"
arm_target "${1:-}"
[ $# -gt 0 ] && shift
dir=${NORVO_SYSROOT_DIR:-/var/cache/norvo-sysroot/$arch}
sysroot=$dir/sysroot
build=${NORVO_BUILD_DIR:-$root/build-$arch-sysroot}
mirror=http://deb.debian.org
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
# Build machine: the cross compiler, the emulator, and the native code
# generators (moc, rcc, uic, protoc), which must be of the target's versions.
ensure_packages arm-sysroot cmake pkg-config "crossbuild-essential-$arch" qemu-user \
    qtbase5-dev-tools protobuf-compiler abigail-tools groff-base debian-archive-keyring
# Target: unpacked into the sysroot.
packages=("${arm_target_packages[@]}")

# Runs the private apt.
sysroot_apt() {
    APT_CONFIG=$dir/apt/apt.conf DEBIAN_FRONTEND=noninteractive apt-get -qq "$@"
}

make_sysroot() {
    rm -rf "$dir/apt" "$sysroot"
    mkdir -p "$dir"/apt/{etc/apt.conf.d,etc/preferences.d,etc/sources.list.d,state/lists/partial,cache/archives/partial}
    : >"$dir/apt/state/status"
    # The build machine's apt.conf.d (proxy, validity) is kept; its sources,
    # architectures and dpkg database are not.
    cat >"$dir/apt/apt.conf" <<EOF
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
Dir::Etc "$dir/apt/etc";
Dir::Etc::Parts "/etc/apt/apt.conf.d";
Dir::State "$dir/apt/state";
Dir::State::status "$dir/apt/state/status";
Dir::Cache "$dir/apt/cache";
EOF
    local main="deb [signed-by=$keyring] $mirror/debian bookworm main
deb [signed-by=$keyring] $mirror/debian bookworm-updates main"
    printf '%s\ndeb [signed-by=%s] %s/debian-security bookworm-security main\n' \
        "$main" "$keyring" "$mirror" >"$dir/apt/etc/sources.list"
    if ! sysroot_apt update; then
        echo "arm-sysroot: going on without bookworm-security" >&2
        printf '%s\n' "$main" >"$dir/apt/etc/sources.list"
        sysroot_apt update || exit "$norvo_index_unavailable"
    fi
    sysroot_apt install -y --download-only --no-install-recommends "${packages[@]}"
    mkdir -p "$sysroot"
    local deb link dest rel up tool
    for deb in "$dir"/apt/cache/archives/*.deb; do
        dpkg-deb -x "$deb" "$sysroot"
    done
    # Absolute links would lead out of the sysroot (libz.so -> /lib/...).
    while IFS= read -r -d '' link; do
        dest=$(readlink "$link")
        rel=${link#"$sysroot"/}
        up=.
        [[ $rel == */* ]] && up=$(dirname "$rel" | sed -E 's#[^/]+#..#g')
        ln -sfn "$up$dest" "$link"
    done < <(find "$sysroot" -type l -lname '/*' -print0)
    # The target's Qt CMake files name its own moc, rcc and uic: the build
    # machine's, of the same Qt version, run in their place.
    for tool in "$sysroot"/usr/lib/qt5/bin/*; do
        if [ -x "/usr/lib/qt5/bin/${tool##*/}" ]; then
            ln -sfn "/usr/lib/qt5/bin/${tool##*/}" "$tool"
        fi
    done
    printf '%s\n' "${packages[@]}" >"$dir/packages"
}

if [[ $(cat "$dir/packages" 2>/dev/null) != "$(printf '%s\n' "${packages[@]}")" ]]; then
    echo "arm-sysroot: making the $arch sysroot in $sysroot"
    make_sysroot
fi

arm_build_and_test arm-sysroot "$build" -DNORVO_SYSROOT="$sysroot" -- "$@"
