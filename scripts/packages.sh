# SPDX-License-Identifier: LGPL-2.1-or-later
# Sourced by the scripts: installs the Debian packages a step needs.
#
#   ensure_packages TAG PACKAGE...
#
# Installs the missing ones when run as root (refreshing the package lists
# first: a fresh machine's may be empty); otherwise names them and fails.
#
# Debian's mirrors are sometimes caught mid-sync: an index (say the armhf
# one) fails to download while the rest is fine. apt-get update is tried
# NORVO_APT_TRIES times (default 3), NORVO_APT_PAUSE seconds apart (default
# 10); if an index still fails, the install goes on with what there is. It
# returns
#   0   everything is installed;
#   75  what apt could not install all belongs to an architecture whose
#       index could not be fetched: the step cannot run today, through no
#       fault of ours. The reason goes to the file NORVO_SKIP_FILE names,
#       if set; scripts/test.sh reports the stage as skipped with it;
#   1   anything else (the packages apt could not install are named).
# The scripts run under set -e, so a 75 leaves them with that status.
# apt-get waits up to NORVO_APT_LOCK_WAIT seconds (default 600) for another
# apt or dpkg run on the machine to finish.
# shellcheck shell=bash

norvo_index_unavailable=75

# Architectures whose index the last apt_update could not fetch.
apt_unfetched=()

ensure_packages() {
    local tag=$1 p
    shift
    local missing=()
    local native
    native=$(dpkg --print-architecture)
    for p in "$@"; do
        # One line per installed architecture; a bare name means the build
        # machine's own (or an Arch: all package).
        local wanted="($native|all)"
        [[ $p == *:* ]] && wanted=${p##*:}
        local status
        status=$(dpkg-query -W -f='${Status} ${Architecture}\n' "$p" 2>/dev/null) || true
        grep -Eqx "install ok installed $wanted" <<<"$status" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "$tag: missing Debian packages: ${missing[*]}" >&2
        echo "$tag: run as root, or install them with apt-get" >&2
        return 1
    fi
    echo "$tag: installing ${missing[*]}"
    apt_update "$tag"
    apt_install "$tag" install "${missing[@]}"
}

# Refreshes the package lists, retrying a failed download; never fails.
#
#   apt_update TAG
apt_update() {
    local tag=$1 tries=${NORVO_APT_TRIES:-3} pause=${NORVO_APT_PAUSE:-10} try status out
    apt_unfetched=()
    for ((try = 1; ; try++)); do
        status=0
        out=$(DEBIAN_FRONTEND=noninteractive apt-get update -qq \
            -o DPkg::Lock::Timeout="${NORVO_APT_LOCK_WAIT:-600}" 2>&1) || status=$?
        if [[ -n $out ]]; then
            printf '%s\n' "$out" >&2
        fi
        # A failed index is an error (status 100) or, in some versions, a warning.
        if ((status == 0)) && [[ $out != *'Failed to fetch'* && $out != *'failed to download'* ]]; then
            return 0
        fi
        ((try < tries)) || break
        echo "$tag: apt-get update failed (try $try of $tries); again in $pause s" >&2
        sleep "$pause"
    done
    local line arch
    while IFS= read -r line; do
        if [[ $line == *'Failed to fetch '* && $line =~ /binary-([a-z0-9]+)/ ]]; then
            arch=${BASH_REMATCH[1]}
            [[ " ${apt_unfetched[*]} " == *" $arch "* ]] || apt_unfetched+=("$arch")
        fi
    done <<<"$out"
    echo "$tag: WARNING: apt-get update failed $tries times${apt_unfetched[*]:+; no index for ${apt_unfetched[*]}};" \
        "going on with the package lists there are" >&2
}

# Runs apt-get with the given command (install, build-dep) and arguments,
# after apt_update. On a failure, says which packages apt could not install
# and returns 75 when they all belong to an unfetched index, else 1.
#
#   apt_install TAG COMMAND ARGUMENT...
apt_install() {
    local tag=$1 command=$2 status=0 out
    shift 2
    # -q, not -qq: apt names the broken dependencies only then.
    out=$(DEBIAN_FRONTEND=noninteractive apt-get "$command" -y -q --no-install-recommends \
        -o DPkg::Lock::Timeout="${NORVO_APT_LOCK_WAIT:-600}" "$@" 2>&1) || status=$?
    if ((status == 0)); then
        grep '^W: ' <<<"$out" >&2 || true
        return 0
    fi
    printf '%s\n' "$out" >&2
    local failed=() blocked=() p arch
    mapfile -t failed < <(apt_failed_packages "$out")
    for p in "${failed[@]}"; do
        arch=${p#*:}
        if [[ $p != *:* ]]; then
            # Arch: all packages come with the native index or the "all" one.
            [[ " ${apt_unfetched[*]} " == *" $(dpkg --print-architecture) "* ||
                " ${apt_unfetched[*]} " == *" all "* ]] && blocked+=("$p")
        elif [[ " ${apt_unfetched[*]} " == *" $arch "* ]]; then
            blocked+=("$p")
        fi
    done
    if ((${#failed[@]} == 0)); then
        local asked=()
        for p in "$@"; do
            [[ $p == -* ]] || asked+=("$p")
        done
        echo "$tag: apt-get $command ${asked[*]} failed ($status); its output is above" >&2
        return 1
    fi
    if ((${#blocked[@]} < ${#failed[@]})); then
        echo "$tag: apt-get $command failed ($status): could not install ${failed[*]}" >&2
        return 1
    fi
    local reason="the package index for ${apt_unfetched[*]} could not be fetched (mirror mid-sync?), so ${failed[*]} could not be installed"
    {
        echo
        echo "$tag: ************************************************************"
        echo "$tag: SKIPPED: $reason"
        echo "$tag: ************************************************************"
        echo
    } >&2
    if [[ -n ${NORVO_SKIP_FILE:-} ]]; then
        printf '%s\n' "$reason" >"$NORVO_SKIP_FILE"
    fi
    return $norvo_index_unavailable
}

# The packages apt-get's output says it could not install, one a line: those
# it cannot find, and both sides of each unmet dependency.
apt_failed_packages() {
    local line unmet=0 found=()
    while IFS= read -r line; do
        if [[ $line =~ ^E:\ Unable\ to\ locate\ package\ ([^ ]+) ||
            $line =~ ^E:\ Package\ \'([^\']+)\'\ has\ no\ installation\ candidate ]]; then
            found+=("${BASH_REMATCH[1]}")
        elif [[ $line == 'The following packages have unmet dependencies:' ]]; then
            unmet=1
        elif ((unmet)) && [[ $line =~ ^\ +(([^ ]+)\ :\ )?[A-Za-z-]+:\ ([^ ]+) ]]; then
            # " pkg : Depends: dep ..." or, continued, "    Depends: dep ...";
            # a build-dep's own line is "builddeps:<dir> : ...".
            [[ -z ${BASH_REMATCH[2]} || ${BASH_REMATCH[2]} == builddeps:* ]] || found+=("${BASH_REMATCH[2]}")
            found+=("${BASH_REMATCH[3]}")
        else
            unmet=0
        fi
    done <<<"$1"
    ((${#found[@]})) || return 0
    printf '%s\n' "${found[@]}" | sort -u
}

# Lets dpkg take the packages of a foreign architecture (PACKAGE:ARCH), for
# a cross build; as root, like ensure_packages.
#
#   ensure_architecture TAG ARCH
ensure_architecture() {
    local tag=$1 arch=$2
    grep -qx "$arch" <<<"$(dpkg --print-foreign-architectures)" && return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "$tag: the $arch architecture is not enabled; run as root" >&2
        return 1
    fi
    dpkg --add-architecture "$arch"
}
