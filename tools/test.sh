#!/usr/bin/env bash
# Builds the project and runs every test. On a fresh Debian 12 machine, run as
# root: it installs the Debian packages that are missing first.
#
#   bash tools/test.sh            build into build/ and run ctest
#   BUILD_DIR=out bash tools/test.sh
#
# The second stage builds the whole suite again with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ (ASAN_BUILD_DIR) and runs it
# there; any sanitizer report fails the test that made it, and so the run.
# TAVRON_SKIP_ASAN=1 leaves that stage out (for a quick run by hand).
set -euo pipefail

cd "$(dirname "$0")/.."
source tools/packages.sh
# qtbase5-private-dev: the test that holds user input back during the OFD wait
# posts window-system events; xvfb and xauth: the demo's smoke test.
ensure_packages build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools \
    qtbase5-private-dev libusb-dev zlib1g-dev openssl ca-certificates fonts-dejavu-core \
    xvfb xauth

build_dir=${BUILD_DIR:-build}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

# Release: the tests need no debug information, and leaving it out keeps the
# two builds of a CI run well inside its time.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build_dir" -j "$jobs"
stage1_log=$(mktemp)
trap 'rm -f "$stage1_log"' EXIT
(cd "$build_dir" && ctest --output-on-failure -j "$jobs") 2>&1 | tee "$stage1_log"
stage1_summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$stage1_log" | tail -n 1 || true)

# Second stage: the same suite under the sanitizers.
if [ "${TAVRON_SKIP_ASAN:-0}" = 1 ]; then
    echo "sanitizer stage skipped (TAVRON_SKIP_ASAN=1)"
    exit 0
fi
asan_dir=${ASAN_BUILD_DIR:-build-asan}
stage_start=$SECONDS
# -O1 with line tables only: quicker to build than -O2 -g, and the reports
# still name file and line.
cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRON_SANITIZE=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
cmake --build "$asan_dir" -j "$jobs"
# ASan stops at its first finding by default, UBSan because the build says
# -fno-sanitize-recover; the stack makes a report readable. Leak checking is
# off in the tests' environment (Qt keeps caches it never frees) and switched
# on by the soak test, which checks leaks exactly.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
echo "first stage, normal build: ${stage1_summary:-no ctest summary}"
echo "sanitizer build took $((SECONDS - stage_start)) s; its tests follow"
# The demo's smoke test builds and runs a program of its own without the
# sanitizers; the first stage has run it already.
(cd "$asan_dir" && ctest --output-on-failure -j "$jobs" -E '^tst_demo$')
