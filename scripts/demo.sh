#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds libnorvo and shows it at work without a PLC: norvo-sim plays the
# PLC on a loopback TCP port and on a pseudo-terminal, and norvo, loading the
# driver plug-in as the panel runtime does, runs a short session against
# each: identity, writes and reads of several types, a poll and a request
# that the driver refuses. Every result is checked; the exit status is 0
# only when every step gave what it should.
#
#   scripts/demo.sh
#
# NORVO_BUILD_DIR   build directory (default: <repo>/build)
# NORVO_DEMO_BUILD  set to 0 to use an existing build as it is
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NORVO_BUILD_DIR:-$repo/build}

if [[ ${NORVO_DEMO_BUILD:-1} != 0 ]]; then
    echo "== setting up and building in $build"
    NORVO_BUILD_DIR=$build "$repo/scripts/setup.sh" >/dev/null
fi

norvo=$build/tools/cli/norvo
sim=$build/tools/sim/norvo-sim
for program in "$norvo" "$sim"; do
    if [[ ! -x $program ]]; then
        echo "demo: $program was not built" >&2
        exit 1
    fi
done
# The checks read norvo's JSON with jq.
# shellcheck source=scripts/packages.sh
source "$repo/scripts/packages.sh"
ensure_packages demo jq

tmp=$(mktemp -d)
sim_pids=()
cleanup() {
    local pid
    for pid in "${sim_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0
failed=0
ok() {
    echo "   ok: $1"
    passed=$((passed + 1))
}
not_ok() {
    echo "   FAILED: $1"
    failed=$((failed + 1))
}

# Starts norvo-sim with the given arguments and sets sim_line to where it
# listens (its first line: "tcp 127.0.0.1:PORT" or "pty /dev/pts/N").
start_sim() {
    local name=$1
    shift
    # There before the simulator starts, so that a look at it never fails.
    : >"$tmp/$name.out"
    "$sim" "$@" >"$tmp/$name.out" 2>"$tmp/$name.err" &
    local pid=$!
    sim_pids+=("$pid")
    sim_line=
    for _ in $(seq 100); do
        sim_line=$(head -n 1 "$tmp/$name.out")
        [[ -n $sim_line ]] && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "demo: norvo-sim $* did not start:" >&2
    cat "$tmp/$name.err" >&2
    return 1
}

# Runs norvo with --json, shows the command and what it printed; leaves its
# exit status in rc, its output (one JSON object a line) in out and its
# messages in err. The checks read the JSON, not the table for people.
run_norvo() {
    echo "   \$ norvo --json $*"
    set +e
    out=$("$norvo" --json "$@" 2>"$tmp/stderr")
    rc=$?
    set -e
    err=$(cat "$tmp/stderr")
    [[ -z $out ]] || sed 's/^/     /' <<<"$out"
    [[ -z $err ]] || sed 's/^/     stderr: /' <<<"$err"
}

# How many of the output's objects the jq filter, the last argument, holds
# for; the arguments before it go to jq (--arg, --argjson).
count_of() {
    local filter=${!#}
    jq -n "${@:1:$#-1}" "[inputs | select($filter)] | length" <<<"$out" || echo 0
}

# How many good results of LABEL TYPE with exactly the values of the JSON
# array VALUES the output holds.
good_results() {
    # shellcheck disable=SC2016 # jq's own variables
    count_of --arg l "$1" --arg t "$2" --argjson v "$3" \
        '.label == $l and .type == $t and .status == 0 and .values == $v'
}

# Writes the values, reads them back and checks that they came back as given.
write_and_read() {
    local link=$1 label=$2 type=$3 what=$4
    shift 4
    local values
    values="[$(IFS=,; echo "$*")]"
    run_norvo "$link" write "$label" "$type" "$@"
    if ((rc != 0)) || (($(good_results "$label" "$type" "$values") != 1)); then
        not_ok "$what: the write was not acknowledged"
        return
    fi
    if (($# == 1)); then
        run_norvo "$link" read "$label" "$type"
    else
        run_norvo "$link" read "$label" "$type" "$#"
    fi
    if ((rc == 0)) && (($(good_results "$label" "$type" "$values") == 1)); then
        ok "$what: written and read back"
    else
        not_ok "$what: read back something else"
    fi
}

session() {
    local title=$1 link=$2
    echo
    echo "== $title ($link)"

    echo "-- identity"
    run_norvo "$link" info
    if ((rc == 0)) && (($(count_of '.name == "Norvo" and .connect == 0 and .status == 0') == 1)); then
        ok "the plug-in answers as Norvo, the link opens and station 1 answers"
    else
        not_ok "identity or link"
    fi

    echo "-- writes and reads"
    write_and_read "$link" D100 int16 "a negative int16" -5
    write_and_read "$link" D200 int32 "two int32 values" 123456789 -100000
    write_and_read "$link" D300 float "a float" 3.25
    write_and_read "$link" R10 double "a double" -1234.5678

    echo "-- bits on X"
    # The word at X0 holds the bits X0 to X15, X0 the least significant:
    # 0x0005 sets X0 and X2.
    run_norvo "$link" write X0 uint16 0x0005
    if ((rc == 0)) && (($(good_results X0 uint16 '[5]') == 1)); then
        run_norvo "$link" read X0 bool 4
        if ((rc == 0)) && (($(good_results X0 bool '[true,false,true,false]') == 1)); then
            ok "X0 and X2 set, X1 and X3 clear"
        else
            not_ok "the bits X0 to X3 read back wrong"
        fi
    else
        not_ok "the word write to X0 was not acknowledged"
    fi

    echo "-- a poll of three cycles"
    run_norvo --times 3 --interval 200 "$link" poll D100 int16
    if ((rc == 0)) && (($(good_results D100 int16 '[-5]') == 3)) &&
        (($(count_of '.reads == 3 and .good == 3 and .failed == 0 and .interrupted == false') == 1)); then
        ok "three good reads of D100"
    else
        not_ok "the poll"
    fi

    echo "-- a request the driver refuses"
    # 300 registers do not fit in one request; nothing is sent.
    run_norvo "$link" read D100 int16 300
    if ((rc == 2)) && (($(count_of '.label == "D100" and .status == 5') == 1)); then
        ok "refused with status 5, count too large"
    else
        not_ok "the oversized read was not refused as it should be"
    fi
}

start_sim tcp --tcp 127.0.0.1:0
tcp_link=${sim_line#tcp }
start_sim pty --pty
pty_link="${sim_line#pty },9600,8,1,N"

session "norvo-sim on loopback TCP" "$tcp_link"
session "norvo-sim on a pseudo-terminal, 9600 8N1" "$pty_link"

echo
echo "== $passed steps passed, $failed failed"
((failed == 0))
