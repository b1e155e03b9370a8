#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Sets up and runs every test:
#   1. the native build's suite, then on that build the demo and a quick
#      pass of the bench (scripts/demo.sh, scripts/bench.sh --quick);
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. a short run of each fuzzer over its seed corpus;
#   4. the suite cross-built for armhf and run as ARM code under qemu;
#   5. the Debian packages for amd64: built with the fast tests, lintian,
#      their autopkgtest against the installed packages (scripts/package.sh);
#   6. the Debian packages cross-built for armhf, with lintian.
#
#   scripts/test.sh
#
# NORVO_TEST_STAGES   the stages to run
#                     (default: "native sanitize fuzz armhf package package-armhf")
# NORVO_FUZZ_SECONDS  seconds per fuzzer in stage 3 (default: 5)
#
# The summary at the end lists each stage as passed, failed, or skipped with
# its reason (a package index the mirror could not give); the exit status is
# 0 when no stage failed.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)
stages=${NORVO_TEST_STAGES:-native sanitize fuzz armhf package package-armhf}

# The simulator's web page is tested in a headless browser, the Wireshark
# dissector with tshark (its setuid question is answered no, non-interactively).
test_packages=(chromium chromium-driver python3-selenium tshark)

# A stage whose packages cannot be installed because the mirror could not
# give their architecture's index (scripts/packages.sh: exit status 75 with
# a reason) is skipped, and the summary says why; any other failure stops
# the run.
skip_file=$(mktemp)
trap 'rm -f "$skip_file"' EXIT
export NORVO_SKIP_FILE=$skip_file

stage() {
    echo
    echo "== $1"
}

# One stage; called in an || list, where set -e does not act: each stage is
# one && chain.
run_stage() {
    case $1 in
    native)
        stage "native build and tests"
        NORVO_BUILD_DIR=$repo/build "$repo/scripts/setup.sh" "${test_packages[@]}" &&
            ctest --test-dir "$repo/build" --output-on-failure -j"$jobs" &&
            part=$SECONDS &&
            NORVO_DEMO_BUILD=0 NORVO_BUILD_DIR=$repo/build "$repo/scripts/demo.sh" &&
            echo "   demo: $((SECONDS - part)) s" &&
            # Here only whether every figure can still be measured, so the
            # tree just tested serves: the bench's own Release tree would
            # cost a whole build more.
            part=$SECONDS &&
            NORVO_BENCH_BUILD_DIR=$repo/build NORVO_BENCH_BUILD_TYPE=RelWithDebInfo \
                "$repo/scripts/bench.sh" --quick &&
            echo "   bench, quick: $((SECONDS - part)) s"
        ;;
    sanitize)
        stage "sanitizer build (ASan + UBSan) and tests"
        NORVO_BUILD_DIR=$repo/build-san NORVO_CMAKE_ARGS="-DNORVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug" \
            "$repo/scripts/setup.sh" "${test_packages[@]}" &&
            ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
                ctest --test-dir "$repo/build-san" --output-on-failure -j"$jobs"
        ;;
    fuzz)
        stage "fuzzers, ${NORVO_FUZZ_SECONDS:-5} s each"
        "$repo/scripts/fuzz.sh" "${NORVO_FUZZ_SECONDS:-5}"
        ;;
    armhf)
        stage "armhf cross build, tests under qemu-arm"
        "$repo/scripts/arm-test.sh" armhf
        ;;
    package)
        stage "Debian packages for amd64: build, lintian, autopkgtest"
        "$repo/scripts/package.sh" amd64
        ;;
    package-armhf)
        stage "Debian packages cross-built for armhf: build, lintian"
        "$repo/scripts/package.sh" armhf
        ;;
    esac
}

for s in $stages; do
    case $s in
    native | sanitize | fuzz | armhf | package | package-armhf) ;;
    *)
        echo "test: unknown stage '$s'" >&2
        exit 2
        ;;
    esac
done

results=()
skipped=()
summary() {
    echo
    echo "== $1"
    printf '   %s\n' "${results[@]}"
}
for s in $stages; do
    start=$SECONDS
    : >"$skip_file"
    status=0
    run_stage "$s" || status=$?
    if ((status == 0)); then
        results+=("$s passed, $((SECONDS - start)) s")
    elif ((status == 75)) && [[ -s $skip_file ]]; then
        results+=("$s SKIPPED: $(<"$skip_file")")
        skipped+=("$s")
    else
        results+=("$s FAILED (exit status $status) after $((SECONDS - start)) s")
        summary "FAILED: $s"
        exit 1
    fi
done
if ((${#skipped[@]})); then
    summary "no stage failed, but SKIPPED: ${skipped[*]}"
else
    summary "every stage passed: $stages"
fi
