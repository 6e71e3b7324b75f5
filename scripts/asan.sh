#!/usr/bin/env bash
# Builds the core test suite (the CLI's tests included) with AddressSanitizer and
# UndefinedBehaviorSanitizer, leak checks on, and runs it: every reader, job body and writer
# of the core once more under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFRAGLANE_CORE_TESTS_ONLY=ON \
    -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer" -DCMAKE_C_FLAGS="$sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build/asan -j"${FRAGLANE_JOBS:-2}" --target fraglane_core_tests fraglane-cli
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1" \
    build/asan/tests/fraglane_core_tests --gtest_brief=1
