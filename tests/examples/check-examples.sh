#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs the host examples against norvo-sim on loopback, each against a
# simulator of its own, and checks what they printed, how they exited and
# what landed in the simulated PLC (read back with norvo, or from the
# simulator's memory dump).
#
#   check-examples.sh BINDIR [NAME...]     NAME: read write bits poll timeout
#
# BINDIR holds example_NAME. norvo-sim and norvo are $NORVO_SIM and $NORVO,
# else the ones on PATH (the Debian autopkgtest runs the installed ones).
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 BINDIR [read|write|bits|poll|timeout]..." >&2
    exit 2
fi
bindir=$1
shift
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(read write bits poll timeout)
sim=${NORVO_SIM:-norvo-sim}
norvo=${NORVO:-norvo}

tmp=$(mktemp -d)
sim_pid=
cleanup() {
    [ -z "$sim_pid" ] || kill -TERM "$sim_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    for file in out err sim.err; do
        [ ! -s "$tmp/$file" ] || { echo "--- $file" >&2; cat "$tmp/$file" >&2; }
    done
    exit 1
}

# start_sim ARGS...: norvo-sim on a free loopback port, memory from
# $tmp/plc.txt; sets link to its ADDRESS:PORT.
start_sim() {
    local line='' i
    "$sim" --tcp 127.0.0.1:0 --load "$tmp/plc.txt" "$@" >"$tmp/sim.out" 2>"$tmp/sim.err" &
    sim_pid=$!
    for i in $(seq 100); do
        line=$(head -n 1 "$tmp/sim.out")
        [ -z "$line" ] || break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    [[ $line == "tcp "* ]] || fail "norvo-sim $* did not start"
    link=${line#tcp }
}

# stop_sim: SIGTERM, on which it writes its memory after its first line.
stop_sim() {
    kill -TERM "$sim_pid"
    wait "$sim_pid" || fail "norvo-sim exited with $?"
    sim_pid=
}

# run STATUS NAME ARGS...: example_NAME ARGS must exit with STATUS.
run() {
    local expected=$1 name=$2 rc=0
    shift 2
    echo "\$ example_$name $*"
    "$bindir/example_$name" "$@" >"$tmp/out" 2>"$tmp/err" || rc=$?
    sed 's/^/  /' "$tmp/out"
    [ "$rc" -eq "$expected" ] || fail "example_$name $* exited with $rc, not $expected"
}

# printed LINE...: the last run printed each LINE as a whole line.
printed() {
    local line
    for line in "$@"; do
        grep -Fxq -- "$line" "$tmp/out" || fail "example_* did not print \"$line\""
    done
}

# holds VALUES LABEL TYPE [COUNT]: norvo reads VALUES there, with status 0.
holds() {
    local expected=$1 row
    shift
    row=$("$norvo" --csv "$link" read "$@" | tail -n 1)
    row=${row%$'\r'} # CSV lines end in CR LF
    if [ "${row##*,}" != "$expected" ] || [[ $row != *,0,success,* ]]; then
        fail "norvo read $* gave \"$row\", not the values \"$expected\""
    fi
    echo "  norvo read $*: $expected"
}

# dumped LINE...: the stopped simulator's memory holds each LINE.
dumped() {
    local line
    for line in "$@"; do
        tail -n +2 "$tmp/sim.out" | grep -Fxq -- "$line" || fail "the PLC's memory lacks \"$line\""
    done
}

check_read() {
    cat >"$tmp/plc.txt" <<'EOF'
D100 = 1234, -5
D200:int32 = 100000
D300:float = 3.25
D10:int8 = -5, 7
X0 = 1
X2 = 1
X3 = 1
X7 = 1
@2 D100 = 77
EOF
    start_sim --station 1,2
    run 0 read "$link"
    printed "ConnectDrive(\"$link\") = 0" "D100 int16: 1234 -5" "D200 int32: 100000" \
        "D300 float: 3.25" "D10 int8: -5 7" "X0 bool: 1 0 1 1 0 0 0 1"
    # A clean disconnect logs what a dropped link does.
    grep -Eq "^lib\[Norvo\]$link Disconnected=-1\$" "$tmp/err" ||
        fail "no \"lib[Norvo]$link Disconnected=-1\" on a clean DisConnectDrive"
    run 0 read "$link" 2
    printed "D100 int16: 77 0"
    run 2 read "$link" 256
    stop_sim
}

check_write() {
    : >"$tmp/plc.txt"
    start_sim
    run 0 write "$link"
    printed "D100 int16: 1234 -5" "D300 float: 3.25" "D10 int8: -5 7"
    holds "1234 -5" D100 int16 2
    holds 3.25 D300 float
    stop_sim
    dumped "D10 = 0xFB07" "D100 = 0x04D2" "D101 = 0xFFFB" "D301 = 0x4050"
}

check_bits() {
    printf 'Y2 = 1\nY4 = 1\nY8 = 1\nY20 = 1\n' >"$tmp/plc.txt"
    start_sim
    run 0 bits "$link"
    printed "Y0..Y23: 0 0 1 0 1 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0" \
        "Y3 word: 0x0022, now 0x0025" \
        "Y0..Y23: 0 0 1 1 0 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0"
    holds "1 1 0 1" Y2 bool 4
    stop_sim
}

check_poll() {
    printf 'D100 = 1234\n' >"$tmp/plc.txt"
    # The PLC closes the connection instead of every fourth answer (its
    # synchronising reads counted): every third cycle finds the link down.
    start_sim --close-every 4
    run 0 poll "$link" 1 11 20
    printed "cycle 1: D100 = 1234" "cycle 3: link down (status 9), ConnectDrive(\"$link\") = 0" \
        "cycle 4: D100 = 1234" "cycle 11: D100 = 1234" "11 reads, 8 good, 3 reconnects"
    stop_sim
    # A slow PLC, with the answer wait set in the connection string; the
    # driver handles the thread's events while it waits, the poll's timer's
    # too.
    start_sim --delay 100
    run 0 poll "$link;timeout=3000" 1 4 10
    printed "cycle 4: D100 = 1234" "4 reads, 4 good, 0 reconnects"
    stop_sim
    # Without a PLC the link never opens: the poll goes on and fails.
    run 1 poll "$link" 1 2 20
    printed "2 reads, 0 good, 2 reconnects"
}

check_timeout() {
    printf 'D100 = 1234\n' >"$tmp/plc.txt"
    # Every answer 500 ms late, over the 300 ms the driver starts with.
    start_sim --delay 500
    run 0 timeout "$link" 3000
    printed "ConnectDrive(\"$link;timeout=3000\") = 0" "D100 int16: 1234"
    run 4 timeout "$link" 20
    printed "ConnectDrive(\"$link;timeout=20\") = -1"
    stop_sim
}

for name in "${names[@]}"; do
    case $name in
    read | write | bits | poll | timeout) "check_$name" ;;
    *) fail "no example $name" ;;
    esac
    echo "ok: example_$name"
done
