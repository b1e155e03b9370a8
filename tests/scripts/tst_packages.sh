#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# scripts/packages.sh and the stages of scripts/test.sh when a package index
# fails to download: a stage is skipped only when what apt cannot install
# belongs to the architecture whose index failed; anything else fails.
#
#   tests/scripts/tst_packages.sh REPO
#
# apt-get, dpkg, dpkg-query, id, cmake and ctest are stubs, and PATH holds
# only them and a few plain tools, so nothing on the machine is touched.
set -uo pipefail

repo=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
bin=$tmp/bin
mkdir -p "$bin"
for tool in bash cat grep sed sort sleep mktemp rm mkdir dirname nproc tail head env; do
    ln -s "$(command -v "$tool")" "$bin/$tool"
done

# FAKE_UPDATE: ok, ARCH (that index always fails), ARCH/N (fails N times),
# or release (the whole mirror). FAKE_INSTALL: apt-get's output when
# install or build-dep fails; empty, they succeed.
cat >"$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_LOG"
if [[ $1 == update ]]; then
    arch=${FAKE_UPDATE%/*}
    [[ $FAKE_UPDATE == */* ]] && fails=${FAKE_UPDATE#*/} || fails=1000
    [[ $arch == ok || $(grep -c '^update' "$FAKE_LOG") -gt $fails ]] && exit 0
    if [[ $arch == release ]]; then
        echo "E: Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease  Temporary failure resolving 'deb.debian.org'"
    else
        echo "E: Failed to fetch http://deb.debian.org/debian/dists/bookworm/main/binary-$arch/Packages.xz  File has unexpected size (30132 != 30120). Mirror sync in progress?"
        echo "   Hashes of expected file:"
        echo "    - Filesize:30120 [weak]"
    fi
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
fi
[[ -z $FAKE_INSTALL ]] && exit 0
printf '%s\n' "$FAKE_INSTALL"
exit 100
EOF
# FAKE_MISSING: a pattern; the packages it matches are not installed. The
# others are, a line each architecture as dpkg-query lists them: cmake for
# armhf as well as amd64, as the cross tools leave pkg-config.
cat >"$bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
# shellcheck disable=SC2053
p=${*: -1}
[[ $p == $FAKE_MISSING ]] && exit 1
[[ $p == *:* ]] && printf 'install ok installed %s\n' "${p##*:}" && exit 0
printf 'install ok installed amd64\n'
[[ $p == cmake ]] && printf 'install ok installed armhf\n'
exit 0
EOF
cat >"$bin/dpkg" <<'EOF'
#!/usr/bin/env bash
case $1 in
--print-architecture) echo amd64 ;;
--print-foreign-architectures) echo armhf ;;
*) exit 1 ;;
esac
EOF
printf '#!/usr/bin/env bash\necho 0\n' >"$bin/id"
printf '#!/usr/bin/env bash\nexit 0\n' >"$bin/cmake"
# shellcheck disable=SC2016
printf '#!/usr/bin/env bash\nexit "${FAKE_CTEST:-0}"\n' >"$bin/ctest"
chmod +x "$bin"/*

mkdir -p "$tmp/repo/scripts"
cp "$repo"/scripts/{test,packages,setup,arm-test,arm-target,package}.sh "$tmp/repo/scripts/"
# The native stage's demo and quick bench need a build: here they pass.
for s in demo bench; do
    printf '#!/usr/bin/env bash\nexit 0\n' >"$tmp/repo/scripts/$s.sh"
    chmod +x "$tmp/repo/scripts/$s.sh"
done

export PATH=$bin FAKE_LOG=$tmp/log NORVO_APT_TRIES=3 NORVO_APT_PAUSE=0
export FAKE_UPDATE FAKE_INSTALL FAKE_MISSING FAKE_CTEST

# apt-get's output, in the shapes of apt 2.6.
head='Reading package lists...
Building dependency tree...
Reading state information...'
unmet_head="$head
Some packages could not be installed. This may mean that you have
requested an impossible situation or if you are using the unstable
distribution that some required packages have not yet been created
or been moved out of Incoming.
The following information may help to resolve the situation:

The following packages have unmet dependencies:"
unmet_tail='E: Unable to correct problems, you have held broken packages.'
locate_armhf="$head
E: Unable to locate package qtbase5-dev:armhf
E: Unable to locate package libpcap-dev:armhf"
locate_native="$head
E: Unable to locate package crossbuild-essential-armhf"
candidate_armhf="$head
Package libqt5serialport5-dev:armhf is not available, but is referred to by another package.
E: Package 'libqt5serialport5-dev:armhf' has no installation candidate"
skew_armhf="$unmet_head
 qtbase5-dev:armhf : Depends: libqt5core5a:armhf (= 5.15.8+dfsg-11+deb12u2) but 5.15.8+dfsg-11 is to be installed
                     Depends: libqt5gui5:armhf (= 5.15.8+dfsg-11+deb12u2) but it is not going to be installed
$unmet_tail"
builddeps_armhf="$unmet_head
 builddeps:/src/libnorvo-1.2.3 : Depends: qtbase5-dev:armhf but it is not installable
                                 Depends: libqt5serialport5-dev:armhf but it is not installable
$unmet_tail"
builddeps_mixed="$unmet_head
 builddeps:/src/libnorvo-1.2.3 : Depends: qtbase5-dev:armhf but it is not installable
                                 Depends: debhelper-compat (= 13) but it is not installable
$unmet_tail"
dpkg_error="$head
dpkg: error processing archive /var/cache/apt/archives/libqt5core5a_5.15.8_armhf.deb (--unpack):
 cannot copy extracted data for './usr/lib/arm-linux-gnueabihf/libQt5Core.so.5' to '/usr/lib/arm-linux-gnueabihf/libQt5Core.so.5.dpkg-new': failed to write (No space left on device)
E: Sub-process /usr/bin/dpkg returned an error code (1)"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# ensure_packages TAG qtbase5-dev:armhf cmake, in a shell like the scripts'.
# Columns: update | install output | not installed | status | output holds | update calls
ensure_cases=(
    "nothing missing|ok|$locate_armhf|none|0||0"
    "every index fetched|ok||*|0||1"
    "an index fails twice, then comes|armhf/2||*|0|(try 2 of 3)|3"
    "armhf index down, the native packages install|armhf||cmake|0|no index for armhf|3"
    "armhf index down, armhf packages not found|armhf|$locate_armhf|*|75|SKIPPED: the package index for armhf could not be fetched (mirror mid-sync?), so libpcap-dev:armhf qtbase5-dev:armhf could not be installed|3"
    "armhf index down, no candidate for armhf|armhf|$candidate_armhf|*|75|so libqt5serialport5-dev:armhf could not|3"
    "armhf index down, armhf versions out of step|armhf|$skew_armhf|*|75|so libqt5core5a:armhf libqt5gui5:armhf qtbase5-dev:armhf could not|3"
    "armhf index down, armhf build-deps|armhf|$builddeps_armhf|*|75|so libqt5serialport5-dev:armhf qtbase5-dev:armhf could not|3"
    "amd64 index down, a native package not found|amd64|$locate_native|*|75|for amd64 could not be fetched|3"
    "armhf index down, a native package not found|armhf|$locate_native|*|1|could not install crossbuild-essential-armhf|3"
    "armhf index down, a native build-dep unmet too|armhf|$builddeps_mixed|*|1|could not install debhelper-compat qtbase5-dev:armhf|3"
    "armhf index down, dpkg fails|armhf|$dpkg_error|*|1|apt-get install qtbase5-dev:armhf cmake failed (100); its output is above|3"
    "every index fetched, armhf packages not found|ok|$locate_armhf|*|1|could not install libpcap-dev:armhf qtbase5-dev:armhf|1"
    "mirror unreachable, armhf packages not found|release|$locate_armhf|*|1|could not install libpcap-dev:armhf qtbase5-dev:armhf|3"
)
for row in "${ensure_cases[@]}"; do
    IFS='|' read -r name FAKE_UPDATE FAKE_INSTALL FAKE_MISSING want text updates <<<"${row//$'\n'/$'\r'}"
    FAKE_INSTALL=${FAKE_INSTALL//$'\r'/$'\n'}
    : >"$FAKE_LOG"
    : >"$tmp/skip"
    out=$(NORVO_SKIP_FILE=$tmp/skip bash -c 'set -euo pipefail; source "$1"; ensure_packages tag qtbase5-dev:armhf cmake' \
        _ "$repo/scripts/packages.sh" 2>&1)
    status=$?
    calls=$(grep -c '^update' "$FAKE_LOG")
    ((status == want)) || fail "$name: status $status, not $want; output:"$'\n'"$out"
    [[ $out == *"$text"* ]] || fail "$name: the output lacks '$text':"$'\n'"$out"
    ((calls == updates)) || fail "$name: apt-get update ran $calls times, not $updates"
    if ((want == 75)); then
        [[ $(<"$tmp/skip") == *"index for"* ]] || fail "$name: no reason in NORVO_SKIP_FILE"
    else
        [[ ! -s $tmp/skip ]] || fail "$name: a skip reason without a skip: $(<"$tmp/skip")"
    fi
done

# scripts/test.sh over the real stage scripts, copied beside it.
# Columns: stages | update | install output | ctest status | status | what the
# output holds, ';' between the pieces
run_cases=(
    "armhf native package-armhf|armhf|$builddeps_armhf|0|0|no stage failed, but SKIPPED: armhf package-armhf;\
   armhf SKIPPED: the package index for armhf could not be fetched (mirror mid-sync?), so libqt5serialport5-dev:armhf qtbase5-dev:armhf could not be installed;\
   native passed;   package-armhf SKIPPED: the package index for armhf"
    "native armhf package-armhf|ok|$locate_armhf|0|1|FAILED: armhf;   native passed;   armhf FAILED (exit status 1)"
    "native armhf|armhf|$builddeps_mixed|0|1|FAILED: armhf;   armhf FAILED (exit status 1)"
    "native armhf|armhf|$builddeps_armhf|75|1|FAILED: native;   native FAILED (exit status 75)"
)
for row in "${run_cases[@]}"; do
    IFS='|' read -r stages FAKE_UPDATE FAKE_INSTALL FAKE_CTEST want text <<<"${row//$'\n'/$'\r'}"
    FAKE_INSTALL=${FAKE_INSTALL//$'\r'/$'\n'}
    FAKE_MISSING='*:armhf'
    : >"$FAKE_LOG"
    out=$(NORVO_TEST_STAGES=$stages "$tmp/repo/scripts/test.sh" 2>&1)
    status=$?
    ((status == want)) || fail "test.sh, $stages ($FAKE_UPDATE): status $status, not $want; output:"$'\n'"$out"
    IFS=';' read -ra pieces <<<"$text"
    for piece in "${pieces[@]}"; do
        [[ $out == *"$piece"* ]] || fail "test.sh, $stages ($FAKE_UPDATE): the output lacks '$piece':"$'\n'"$out"
    done
done

((failures == 0)) || exit 1
echo "packages: ${#ensure_cases[@]} ensure_packages cases, ${#run_cases[@]} test.sh runs passed"
