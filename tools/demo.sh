#!/usr/bin/env bash
# The demo: the program on this machine against its emulated peers, no hardware
# and no network needed. On a fresh Debian 12 machine, run as root (it installs
# the Debian packages that are missing first):
#
#   bash tools/demo.sh
#
# It builds the program into build-demo/ for the local emulators (processing
# server 127.0.0.1 on a local port, with the test CA of tests/data/tls compiled
# in), starts the emulated processing server and the emulated OFD on
# 127.0.0.1:7777, and runs the program with the emulated USB adapter preloaded,
# an MGM behind it in a fresh state file. Log in happens by itself; pick a
# model, type a serial number, "Начать", fill the form (OFD "Энвижн Груп" is the
# local one), "Выполнить регистрацию"; "Стереть МГМ" makes the MGM fresh again.
# Closing the window stops the emulators. The logs, the storage's state file
# and the documents the OFD received stay in build-demo/demo-run/.
#
#   bash tools/demo.sh --check SECONDS
#       for CI: waits up to SECONDS for the window to be ready with the model
#       list from the emulator, then ends the program and its emulators and
#       reports; exit status 0 when all of it went right.
#
# Environment: DEMO_BUILD_DIR (default build-demo), DEMO_PROCESSING_PORT
# (default 18443), JOBS (parallel build jobs).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

check_seconds=
if [ "${1:-}" = "--check" ]; then
    check_seconds=${2:-}
    if ! [[ "$check_seconds" =~ ^[0-9]+$ ]] || [ "$check_seconds" -lt 1 ]; then
        echo "usage: bash tools/demo.sh [--check SECONDS]" >&2
        exit 2
    fi
elif [ $# -gt 0 ]; then
    echo "usage: bash tools/demo.sh [--check SECONDS]" >&2
    exit 2
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "demo: no display to show the window on; run it under a virtual one: apt-get install -y xvfb xauth && xvfb-run -a bash tools/demo.sh" >&2
    exit 1
fi

source tools/packages.sh
ensure_packages build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools \
    libusb-dev zlib1g-dev openssl ca-certificates fonts-dejavu-core

build_dir=${DEMO_BUILD_DIR:-build-demo}
processing_port=${DEMO_PROCESSING_PORT:-18443}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
tls_dir=$root/tests/data/tls

echo "demo: building the program for the local emulators in $build_dir"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVRON_BUILD_TESTS=OFF -DTAVRON_BUILD_EMULATORS=ON -DTAVRON_SANITIZE=OFF \
    -DTAVRON_PROCESSING_HOST=127.0.0.1 -DTAVRON_PROCESSING_PORT="$processing_port" \
    -DTAVRON_PROCESSING_CA_FILE="$tls_dir/ca.pem" >/dev/null
cmake --build "$build_dir" -j "$jobs" \
    --target tavron tavron-processing-emu ofdemulator tavron-usbemu >/dev/null

build_dir=$(cd "$build_dir" && pwd)
run_dir=$build_dir/demo-run
rm -rf "$run_dir"
mkdir -p "$run_dir"
state_file=$run_dir/storage.json
ofd_record=$run_dir/ofd-documents.jsonl

processing_pid=
ofd_pid=
program_pid=

stop_process() {
    local pid=$1
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
}

stop_all() {
    stop_process "$program_pid"
    stop_process "$ofd_pid"
    stop_process "$processing_pid"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# Waits until the log of a starting emulator says it listens; false when the
# emulator ended or did not get that far within ten seconds.
wait_listening() {
    local pid=$1 log=$2
    local i
    for i in $(seq 1 100); do
        if grep -q "listening on" "$log" 2>/dev/null; then
            return 0
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            return 1
        fi
        sleep 0.1
    done
    return 1
}

"$build_dir/emulator/processing/tavron-processing-emu" --address 127.0.0.1 \
    --port "$processing_port" --cert "$tls_dir/server.pem" --key "$tls_dir/server.key.pem" \
    >"$run_dir/processing.log" 2>&1 &
processing_pid=$!
if ! wait_listening "$processing_pid" "$run_dir/processing.log"; then
    echo "demo: the processing server emulator did not start on 127.0.0.1:$processing_port:" >&2
    cat "$run_dir/processing.log" >&2
    exit 1
fi

"$build_dir/emulator/ofd/ofdemulator" --host 127.0.0.1 --port 7777 --record "$ofd_record" \
    >"$run_dir/ofd.log" 2>&1 &
ofd_pid=$!
if ! wait_listening "$ofd_pid" "$run_dir/ofd.log"; then
    echo "demo: the OFD emulator did not start on 127.0.0.1:7777:" >&2
    cat "$run_dir/ofd.log" >&2
    exit 1
fi

echo "demo: processing server on 127.0.0.1:$processing_port, OFD on 127.0.0.1:7777, MGM in $state_file"
echo "demo: the program's log goes to $run_dir/tavron.log"

LD_PRELOAD=$build_dir/emulator/usb/libtavron-usbemu.so \
TAVRON_USBEMU_STATE=$state_file TAVRON_USBEMU_KIND=mgm \
    "$build_dir/src/tavron" >"$run_dir/tavron.log" 2>&1 &
program_pid=$!

if [ -z "$check_seconds" ]; then
    status=0
    wait "$program_pid" || status=$?
    program_pid=
    stop_all
    documents=0
    if [ -f "$ofd_record" ]; then
        documents=$(wc -l <"$ofd_record")
    fi
    echo "demo: the window was closed (exit status $status); emulators stopped; the OFD received $documents document(s)"
    exit "$status"
fi

# --check: the window is ready once the model list from the emulator reached
# the program (it logs the records it got), and it is still running then.
ready=no
for i in $(seq 1 $((check_seconds * 10))); do
    if ! kill -0 "$program_pid" 2>/dev/null; then
        break
    fi
    if grep -q '"officialModel"' "$run_dir/tavron.log" 2>/dev/null; then
        ready=yes
        break
    fi
    sleep 0.1
done
models=$(grep -o '"officialModel"' "$run_dir/tavron.log" 2>/dev/null | wc -l || true)
alive=no
if kill -0 "$program_pid" 2>/dev/null; then
    alive=yes
fi
login=$(grep -c "GET /vendrel/api/LoginSession" "$run_dir/processing.log" || true)
datapack=$(grep -c "POST /vendrel/api/WebDataPackPost" "$run_dir/processing.log" || true)

pids="$program_pid $processing_pid $ofd_pid"
stop_all
left=
for pid in $pids; do
    if kill -0 "$pid" 2>/dev/null; then
        left="$left $pid"
    fi
done

echo "demo check: login requests $login, model requests $datapack, model records $models, program running $alive, processes $pids, left running:${left:- none}"
if [ "$ready" = yes ] && [ "$alive" = yes ] && [ "$login" -ge 1 ] && [ "$datapack" -ge 1 ] && [ -z "$left" ]; then
    echo "demo check: ready with the model list, stopped cleanly"
    exit 0
fi
echo "demo check: FAILED; the program's log:" >&2
tail -n 40 "$run_dir/tavron.log" >&2 || true
exit 1
