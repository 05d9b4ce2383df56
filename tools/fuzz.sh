#!/usr/bin/env bash
# Fuzzes every parser of outside bytes with libFuzzer (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer, LeakSanitizer). Each target starts from its seed
# corpus in fuzz/corpus/<target>/ and runs for a bounded time; the script fails
# on any crash, hang, leak, sanitizer report or broken invariant.
#
#   bash tools/fuzz.sh                     every target, 60 s each
#   FUZZ_SECONDS=10 bash tools/fuzz.sh     shorter
#   bash tools/fuzz.sh fuzz_ofdreply       only the named targets
#
# Environment: FUZZ_SECONDS (default 60), FUZZ_BUILD_DIR (default build-fuzz),
# JOBS (parallel build jobs). The grown corpora stay in
# $FUZZ_BUILD_DIR/fuzz-corpus/<target>/ (the repository's seeds are not
# touched), a crashing input in $FUZZ_BUILD_DIR/fuzz-artifacts/, the log of
# each run in $FUZZ_BUILD_DIR/fuzz-logs/<target>.log. Reproduce a crash with
#   $FUZZ_BUILD_DIR/fuzz/<target> <crashing input>
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source tools/packages.sh
ensure_packages build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools \
    libusb-dev zlib1g-dev clang libclang-rt-14-dev

all_targets=(fuzz_fsanswer fuzz_ofdmessage fuzz_ofdreply fuzz_gzip fuzz_httpsreply fuzz_appsession)
json_targets=(fuzz_httpsreply fuzz_appsession)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=("${all_targets[@]}")
fi
for t in "${targets[@]}"; do
    if [[ ! " ${all_targets[*]} " =~ " $t " ]]; then
        echo "fuzz: no target named $t (targets: ${all_targets[*]})" >&2
        exit 2
    fi
done

seconds=${FUZZ_SECONDS:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "fuzz: FUZZ_SECONDS must be a whole number of seconds, not '$seconds'" >&2
    exit 2
fi
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVRON_FUZZ=ON -DTAVRON_BUILD_TESTS=OFF -DTAVRON_BUILD_EMULATORS=OFF >/dev/null
cmake --build "$build_dir" -j "$jobs" --target "${targets[@]}"

build_dir=$(cd "$build_dir" && pwd)
mkdir -p "$build_dir/fuzz-corpus" "$build_dir/fuzz-artifacts" "$build_dir/fuzz-logs"
runtime_dir=$build_dir/xdg-runtime
mkdir -p "$runtime_dir"
chmod 700 "$runtime_dir"

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/fuzz/lsan.supp:print_suppressions=0
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime_dir

failed=()
summary=()
for t in "${targets[@]}"; do
    corpus=$build_dir/fuzz-corpus/$t
    mkdir -p "$corpus"
    log=$build_dir/fuzz-logs/$t.log
    echo "fuzz: $t for $seconds s"
    status=0
    # Qt's JSON reader leaks on duplicate keys (fuzz/lsan.supp). Telling that
    # leak apart needs whole stacks through Qt, which has no frame pointers,
    # and slow unwinding on every allocation would cut the pace sixteenfold.
    # So the targets that parse JSON fuzz without per-input leak checks, and
    # then their whole corpus runs once more with exact leak checking.
    leak_flag=1
    if [[ " ${json_targets[*]} " =~ " $t " ]]; then
        leak_flag=0
    fi
    # (Without per-input checks the check at exit is off as well: it would see
    # Qt's leak with the same cut stacks.)
    ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=$leak_flag \
        "$build_dir/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -detect_leaks=$leak_flag -print_final_stats=1 \
        -artifact_prefix="$build_dir/fuzz-artifacts/$t-" \
        "$corpus" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
    if [ "$status" -eq 0 ] && [ "$leak_flag" -eq 0 ]; then
        echo "fuzz: $t, its corpus once more with leak checking"
        ASAN_OPTIONS=$ASAN_OPTIONS:fast_unwind_on_malloc=0 \
            "$build_dir/fuzz/$t" -runs=0 -detect_leaks=1 \
            -artifact_prefix="$build_dir/fuzz-artifacts/$t-" \
            "$corpus" "fuzz/corpus/$t" >>"$log" 2>&1 || status=$?
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | head -n 1)
    inputs=$(find "$corpus" -type f | wc -l)
    if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|invariant broken' "$log"; then
        failed+=("$t")
        summary+=("$t: FAILED (exit $status) after ${runs:-?} inputs; see $log")
        echo "fuzz: $t FAILED, the end of its log:" >&2
        tail -n 40 "$log" >&2
    else
        summary+=("$t: ${runs:-0} inputs in $seconds s, corpus $inputs inputs, no report")
    fi
done

echo "fuzz summary:"
printf '  %s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} passed, 0 failed"
