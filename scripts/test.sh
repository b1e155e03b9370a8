#!/usr/bin/env bash
# Sets up and runs every test: the native build's suite, then the same suite
# built with AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/test.sh
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

echo "== native build and tests"
NORVO_BUILD_DIR=$repo/build "$repo/scripts/setup.sh"
ctest --test-dir "$repo/build" --output-on-failure -j"$jobs"

echo "== sanitizer build (ASan + UBSan) and tests"
NORVO_BUILD_DIR=$repo/build-san NORVO_CMAKE_ARGS="-DNORVO_SANITIZE=ON" "$repo/scripts/setup.sh"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$repo/build-san" --output-on-failure -j"$jobs"
