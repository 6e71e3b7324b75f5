#!/usr/bin/env bash
# Builds the core tests with ThreadSanitizer and runs the job tests and the archive writer's
# deflate workers under it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFRAGLANE_CORE_TESTS_ONLY=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build/tsan -j"${FRAGLANE_JOBS:-2}" --target fraglane_core_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    build/tsan/tests/fraglane_core_tests --gtest_filter='Job*' --gtest_repeat=20 --gtest_brief=1
# The archive writer's deflate workers, a few rounds (each deflates a tree at level 9).
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    build/tsan/tests/fraglane_core_tests --gtest_filter='*DeflatingAhead*:*TreeIsTheSame*' \
    --gtest_repeat=3 --gtest_brief=1
