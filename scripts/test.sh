#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the whole test suite under a virtual X
# server with Mesa's software Vulkan driver; then builds the parsers, decoders and the
# main window with AddressSanitizer and UndefinedBehaviorSanitizer and runs their
# tests again (leaks inside system libraries are suppressed by tests/lsan.supp).
# The X server never resets when its last client leaves: with tests starting and
# ending side by side, a reset would refuse the one that connects at that moment.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# Device 0 is always lavapipe, whatever GPU drivers the machine has.
export VK_ICD_FILENAMES=/usr/share/vulkan/icd.d/lvp_icd.x86_64.json
export QT_QPA_PLATFORM=xcb
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -L sanitize
