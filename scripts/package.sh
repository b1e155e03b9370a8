#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds the Debian packages of libnorvo, checks them with lintian and
# scripts/check-debs.sh and, for amd64, runs their autopkgtest against the
# packages installed on this machine.
#
#   scripts/package.sh [amd64|armhf|arm64]      (default: amd64)
#
# amd64 builds the source package and the binary packages with the
# build-time tests (the fast label); armhf and arm64 are cross-built from
# this amd64 machine without tests (-Pcross,nocheck). What the build needs
# is installed first (as root): the Build-Depends through apt-get build-dep,
# the cross toolchain, lintian and autopkgtest.
#
# The source is what the work tree holds (tracked files and new ones git
# does not ignore), copied to NORVO_PACKAGE_DIR (default: out/<arch>/), where
# the packages land beside it.
#
# NORVO_AUTOPKGTEST=0  skips the autopkgtest. It installs liblibnorvo1,
#                      liblibnorvo-dev, norvo-tools and norvo-edge on this
#                      machine and removes them again, unless they were
#                      installed before (norvo-edge's system user stays).
#
# Exit status 75: a package the build needs could not be installed because
# the mirror could not give its architecture's index (scripts/packages.sh).
set -euo pipefail

arch=${1:-amd64}
case $arch in
amd64 | armhf | arm64) ;;
*)
    echo "usage: $0 [amd64|armhf|arm64]" >&2
    exit 2
    ;;
esac
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${NORVO_PACKAGE_DIR:-$repo/out/$arch}
buildArch=$(dpkg --print-architecture)

# shellcheck source=scripts/packages.sh
source "$repo/scripts/packages.sh"
ensure_packages package dpkg-dev debhelper lintian autopkgtest
profiles=()
if [[ $arch != "$buildArch" ]]; then
    ensure_architecture package "$arch"
    ensure_packages package "crossbuild-essential-$arch"
    profiles=(-Pcross,nocheck)
fi
# The Build-Depends of debian/control, for the target architecture. As
# root they go through apt-get build-dep every time: dpkg-checkbuilddeps
# takes the build machine's pkg-config for a cross build's.
if [[ $(id -u) -eq 0 ]]; then
    echo "package: the Build-Depends for $arch"
    apt_update package
    apt_install package build-dep -a"$arch" "${profiles[@]}" "$repo"
elif ! dpkg-checkbuilddeps -a"$arch" "${profiles[@]}" "$repo/debian/control"; then
    echo "package: missing Build-Depends; run as root" >&2
    exit 1
fi

version=$(dpkg-parsechangelog -l"$repo/debian/changelog" -SVersion)
src=$out/libnorvo-$version
rm -rf "$out"
mkdir -p "$src"
# (A file deleted in the work tree but still in git's index is left out.)
(cd "$repo" && git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -C "$src" -xf -

start=$SECONDS
if [[ $arch == "$buildArch" ]]; then
    (cd "$src" && dpkg-buildpackage -us -uc -j"${JOBS:-$(nproc)}")
else
    (cd "$src" && DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" \
        dpkg-buildpackage -a"$arch" "${profiles[@]}" -us -uc -b -j"${JOBS:-$(nproc)}")
fi
changes=$out/libnorvo_${version}_$arch.changes
echo "package: $arch built in $((SECONDS - start)) s"

lintian --fail-on error,warning --display-info "$changes"
echo "package: lintian has no error or warning on $(basename "$changes")"
"$repo/scripts/check-debs.sh" "$changes"

if [[ $arch == "$buildArch" && ${NORVO_AUTOPKGTEST:-1} != 0 ]]; then
    before=$(dpkg-query -W -f='${Package}:${Status}\n' liblibnorvo1 liblibnorvo-dev norvo-tools norvo-edge 2>/dev/null |
        grep -c 'install ok installed' || true)
    start=$SECONDS
    status=0
    # autopkgtest refreshes apt's lists itself and fails on any index that
    # cannot be had; a foreign architecture's (armhf for the cross builds,
    # say, its mirror mid-sync) is none of this test's business.
    native_only=/etc/apt/apt.conf.d/99norvo-autopkgtest-native
    if [[ -w ${native_only%/*} ]]; then
        printf 'APT::Architectures { "%s"; };\n' "$buildArch" >"$native_only"
    fi
    autopkgtest --output-dir "$out/autopkgtest" "$changes" -- null || status=$?
    rm -f "$native_only"
    if [[ $before -eq 0 ]]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq liblibnorvo1 liblibnorvo-dev norvo-tools norvo-edge >/dev/null || true
    fi
    echo "package: autopkgtest took $((SECONDS - start)) s"
    # autopkgtest: 0 all passed, 2 some skipped, anything else failed.
    if [[ $status -ne 0 && $status -ne 2 ]]; then
        echo "package: the autopkgtest failed ($status); see $out/autopkgtest" >&2
        exit 1
    fi
fi

echo
echo "package: the $arch packages are in $out:"
ls -1 "$out"/*.deb "$out"/*.changes
