#!/usr/bin/env bash
# Builds the whole test suite (core, CLI and window) with AddressSanitizer and
# UndefinedBehaviorSanitizer, leak checks on, and runs the core and window suites: every
# reader, job body, writer and window action once more under the sanitizers. The CLI the
# core suite starts is the instrumented one, so its runs are checked too.
set -euo pipefail
cd "$(dirname "$0")/.."
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFRAGLANE_CORE_TESTS_ONLY=OFF -DFRAGLANE_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer" -DCMAKE_C_FLAGS="$sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build/asan -j"${FRAGLANE_JOBS:-2}" \
    --target fraglane_core_tests fraglane-cli fraglane_window_tests
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1"
build/asan/tests/fraglane_core_tests --gtest_brief=1
QT_QPA_PLATFORM=offscreen build/asan/tests/fraglane_window_tests --gtest_brief=1
