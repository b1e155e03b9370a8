# SPDX-License-Identifier: LGPL-2.1-or-later
# Sourced by the tests: starts norvo-sim and stops it again.
#
#   start_sim NAME ARGS...   starts norvo-sim ARGS; sets ${NAME}_PID and
#                            ${NAME}_LINK (the link it printed, e.g.
#                            "127.0.0.1:41234" or "/dev/pts/3")
#   stop_sim NAME            SIGTERM, and waits for it; its dump is in
#                            $tmp/NAME.out after the first line

tmp=${AUTOPKGTEST_TMP:-$(mktemp -d)}
sims=()

start_sim() {
    local name=$1 pid line i
    shift
    norvo-sim "$@" >"$tmp/$name.out" 2>"$tmp/$name.err" &
    pid=$!
    sims+=("$pid")
    for i in $(seq 100); do
        line=$(head -n 1 "$tmp/$name.out")
        [ -n "$line" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$line" ]; then
        echo "norvo-sim $* did not start:" >&2
        cat "$tmp/$name.err" >&2
        exit 1
    fi
    printf -v "${name}_PID" %s "$pid"
    printf -v "${name}_LINK" %s "${line#* }"
    echo "norvo-sim $*: $line"
}

stop_sim() {
    local pid_var=${1}_PID
    kill -TERM "${!pid_var}"
    wait "${!pid_var}"
}

stop_all() {
    local pid
    for pid in "${sims[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
}
trap stop_all EXIT
