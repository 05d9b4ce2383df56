#!/usr/bin/env bash
# Renders the registration form and the result dialog offscreen into
# docs/images/*.png from the real widgets, and the main window along one
# registration against the emulators (their OFD takes 127.0.0.1:7777). DejaVu
# fonts give the Cyrillic glyphs.
#
#   bash tools/screenshots.sh            build into build/, write docs/images/
#   BUILD_DIR=out bash tools/screenshots.sh
set -euo pipefail

cd "$(dirname "$0")/.."
source tools/packages.sh
ensure_packages build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools \
    libusb-dev zlib1g-dev fonts-dejavu-core

build_dir=${BUILD_DIR:-build}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j "$jobs" --target tavron-screenshots

runtime_dir="$(cd "$build_dir" && pwd)/xdg-runtime"
mkdir -p "$runtime_dir"
chmod 700 "$runtime_dir"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime_dir" \
    "$build_dir/tools/screenshots/tavron-screenshots" docs/images
