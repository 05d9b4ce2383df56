#!/usr/bin/env bash
# The performance measurement: builds the benchmark program (bench/) and runs
# it, the hot paths and whole storage sessions against the emulated adapter.
# On a fresh Debian 12 machine, run as root: it installs what is missing first.
#
#   bash tools/bench.sh                     every benchmark, then the session figures
#   bash tools/bench.sh --callgrind         also where a whole registration spends
#                                           its instructions (valgrind's callgrind)
#   bash tools/bench.sh --benchmark_filter=Registration    Google Benchmark's options
#
# Environment: BUILD_DIR (default build-bench), JOBS (parallel build jobs),
# TAVRON_BENCH_LOG=1 (write the program's log lines to stderr, as it does
# when it runs, instead of counting and dropping them).
set -euo pipefail

cd "$(dirname "$0")/.."
source tools/packages.sh
ensure_packages build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools \
    libusb-dev zlib1g-dev libbenchmark-dev valgrind

build_dir=${BUILD_DIR:-build-bench}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

callgrind=0
args=()
for arg in "$@"; do
    if [ "$arg" = "--callgrind" ]; then
        callgrind=1
    else
        args+=("$arg")
    fi
done

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target tavron-bench -j "$jobs"

build_dir=$(cd "$build_dir" && pwd)
bench="$build_dir/bench/tavron-bench"
mkdir -p "$build_dir/xdg-runtime"
chmod 700 "$build_dir/xdg-runtime"
export XDG_RUNTIME_DIR="$build_dir/xdg-runtime"
export QT_QPA_PLATFORM=offscreen

echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs;" \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Compiler: $(${CXX:-c++} --version | head -n 1); build type RelWithDebInfo (-O2 -g)"
echo "Qt $(pkg-config --modversion Qt5Core 2>/dev/null || echo '?');" \
    "Google Benchmark $(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null || echo '?')"
echo

"$bench" ${args[@]+"${args[@]}"}

if [ "$callgrind" = 1 ]; then
    # Five registrations, each one benchmark repetition of one iteration; only
    # what runs inside runRegistration() is counted (the first of the five
    # includes what the program sets up once, as a real first registration
    # does). Symbols are bound at start so that the dynamic linker stays out.
    runs=5
    out="$build_dir/callgrind.registration.out"
    echo
    echo "callgrind: $runs whole registrations, only inside runRegistration()"
    LD_BIND_NOW=1 valgrind --tool=callgrind --callgrind-out-file="$out" \
        --toggle-collect='*runRegistration*' \
        "$bench" --benchmark_filter='^BM_Registration$' --benchmark_min_time=0 \
        --benchmark_repetitions="$runs" >/dev/null 2>"$build_dir/callgrind.log"
    callgrind_annotate --auto=no --inclusive=yes --threshold=100 "$out" 2>/dev/null \
        | awk -v runs="$runs" '
            /PROGRAM TOTALS/ { gsub(",", "", $1); total = $1 }
            /:__wrap_usb_[a-z_]+ \[/ { gsub(",", "", $1); wrapped += $1 }
            /emulator\/usb\/libusbapi\.cpp:usb_[a-z_]+ \[/ { gsub(",", "", $1); adapter += $1 }
            END { printf "Instructions per registration: %d; %d in the emulated adapter and " \
                         "storage, %d in the benchmark'"'"'s timing shims, %d our own\n",
                         total / runs, adapter / runs, (wrapped - adapter) / runs,
                         (total - wrapped) / runs }'
    echo
    echo "Top functions by their own instructions (exclusive):"
    callgrind_annotate --auto=no --threshold=100 "$out" 2>/dev/null \
        | sed -n '/file:function/,$p' | sed -n '3,32p'
    echo
    echo "Top functions of the program with what they call (inclusive):"
    callgrind_annotate --auto=no --inclusive=yes --threshold=100 "$out" 2>/dev/null \
        | sed -n '/file:function/,$p' | grep -E ' (src|tessarocore)/' | sed -n '1,30p'
    echo
    echo "(the whole profile: callgrind_annotate $out)"
fi
