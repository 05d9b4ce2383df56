#!/usr/bin/env bash
# Builds the project and runs every test. On a fresh Debian 12 machine, run as
# root: it installs the Debian packages that are missing first.
#
#   bash tools/test.sh            build into build/ and run ctest
#   BUILD_DIR=out bash tools/test.sh
set -euo pipefail

cd "$(dirname "$0")/.."
source tools/packages.sh
ensure_packages build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools \
    libusb-dev zlib1g-dev openssl ca-certificates fonts-dejavu-core

build_dir=${BUILD_DIR:-build}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j "$jobs"
cd "$build_dir"
ctest --output-on-failure -j "$jobs"
