#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Checks the binary packages of a .changes file: each package's control
# fields, its dependencies, and that every file is in the package it
# belongs to and nowhere else.
#
#   scripts/check-debs.sh out/<arch>/libnorvo_<version>_<arch>.changes
set -euo pipefail

changes=$1
dir=$(dirname "$changes")
arch=$(awk '$1 == "Architecture:" { for (i = 2; i <= NF; i++) if ($i != "source") { print $i; exit } }' "$changes")
version=$(sed -n 's/^Version: //p' "$changes")
triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
failures=0

fail() {
    echo "check-debs: $*" >&2
    failures=$((failures + 1))
}

# expect PACKAGE FIELD PATTERN: the field matches the extended regex.
expect() {
    local value
    value=$(dpkg-deb -f "$deb" "$2")
    [[ $value =~ $3 ]] || fail "$1: $2 is '$value', not /$3/"
}

# The package's files, without folders and its docs.
files() {
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' |
        grep -v "^usr/share/doc/" || true
}

# owns PACKAGE REGEX...: every file of the package matches one of them,
# and each of them matches a file.
owns() {
    local package=$1 file pattern found
    shift
    local all
    all=$(files)
    while read -r file; do
        found=0
        for pattern in "$@"; do
            [[ $file =~ ^$pattern$ ]] && found=1
        done
        ((found)) || fail "$package: holds $file, which belongs elsewhere"
    done <<<"$all"
    for pattern in "$@"; do
        grep -Eqx "$pattern" <<<"$all" || fail "$package: lacks $pattern"
    done
}

lib=usr/lib/$triplet
for package in liblibnorvo1 liblibnorvo-dev norvo-tools norvo-edge; do
    deb=$dir/${package}_${version}_$arch.deb
    if [[ ! -f $deb ]]; then
        fail "no $deb"
        continue
    fi
    expect "$package" Architecture "^$arch$"
    case $package in
    liblibnorvo1)
        expect "$package" Section '^libs$'
        expect "$package" Multi-Arch '^same$'
        expect "$package" Depends 'libqt5core5a'
        # Packages built against it get their dependency from the symbols.
        # (Listed first: grep -q would stop reading early, and under pipefail
        # tar's broken pipe would read as a missing file.)
        control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
        grep -qx './symbols' <<<"$control" || fail "$package: no symbols file"
        grep -qx './shlibs' <<<"$control" || fail "$package: no shlibs file"
        owns "$package" "$lib/libLibNorvo\.so\.1" "$lib/libLibNorvo\.so\.${version//./\\.}"
        ;;
    liblibnorvo-dev)
        expect "$package" Section '^libdevel$'
        expect "$package" Multi-Arch '^same$'
        expect "$package" Depends "liblibnorvo1 \(= ${version//./\\.}\)"
        expect "$package" Depends 'qtbase5-dev'
        owns "$package" usr/include/norvo/CDriveBaseClass\.h usr/include/norvo/CLabelVariable\.h \
            usr/include/norvo/DataType\.h usr/include/norvo/norvoglobal\.h \
            "$lib/libLibNorvo\.so" "$lib/pkgconfig/libnorvo\.pc" \
            "$lib/cmake/LibNorvo/LibNorvoConfig\.cmake" "$lib/cmake/LibNorvo/LibNorvo[A-Za-z-]*\.cmake"
        ;;
    norvo-tools)
        expect "$package" Section '^utils$'
        expect "$package" Multi-Arch '^foreign$'
        expect "$package" Depends "liblibnorvo1 \(= ${version//./\\.}\)"
        # watch's trend is drawn by Debian's chart library, read at run time.
        expect "$package" Depends 'libjs-chart\.js'
        expect "$package" Depends 'libpcap0\.8'
        # The Wireshark dissector, where Wireshark loads global Lua plug-ins.
        owns "$package" usr/bin/norvo usr/bin/norvo-sim \
            usr/share/man/man1/norvo\.1\.gz usr/share/man/man1/norvo-sim\.1\.gz \
            "$lib/wireshark/plugins/norvo\.lua"
        ;;
    norvo-edge)
        expect "$package" Section '^net$'
        expect "$package" Multi-Arch '^foreign$'
        expect "$package" Depends "liblibnorvo1 \(= ${version//./\\.}\)"
        expect "$package" Depends 'libmosquitto1'
        # The service user comes from its sysusers file.
        expect "$package" Depends 'systemd-sysusers'
        grep -qx '/etc/norvo/edge\.conf' <(dpkg-deb -I "$deb" conffiles 2>/dev/null) ||
            fail "$package: /etc/norvo/edge.conf is no conffile"
        owns "$package" usr/bin/norvo-edge usr/share/man/man1/norvo-edge\.1\.gz etc/norvo/edge\.conf \
            usr/lib/sysusers\.d/norvo-edge\.conf "(usr/)?lib/systemd/system/norvo-edge\.service"
        ;;
    esac
    echo "check-debs: $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done

if ((failures)); then
    echo "check-debs: $failures failures" >&2
    exit 1
fi
echo "check-debs: the $arch packages hold what they should"
