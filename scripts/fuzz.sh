#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) and runs
# each for a bounded time. A crash leaves its input in fuzz/regressions/<target>/, where the
# test suite replays it from then on, and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FRAGLANE_FUZZ_SECONDS:-45}"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFRAGLANE_CORE_TESTS_ONLY=ON -DFRAGLANE_BUILD_TESTS=OFF -DFRAGLANE_BUILD_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
    -DCMAKE_C_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build/fuzz -j"${FRAGLANE_JOBS:-2}" --target pk3_fuzz profile_fuzz
status=0
for target in pk3 profile; do
    corpus="build/fuzz-corpus/$target"
    mkdir -p "$corpus" "fuzz/regressions/$target"
    echo "fuzzing $target for ${seconds}s"
    if ! build/fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
            -artifact_prefix="fuzz/regressions/$target/" -print_final_stats=0 \
            "$corpus" "fuzz/seeds/$target" > "build/fuzz-$target.log" 2>&1; then
        echo "fuzzer $target found a failure; input kept in fuzz/regressions/$target/"
        tail -40 "build/fuzz-$target.log"
        status=1
    else
        tail -1 "build/fuzz-$target.log"
    fi
done
exit $status
