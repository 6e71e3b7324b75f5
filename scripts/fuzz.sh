#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, the whole core instrumented for coverage and built
# with the address and undefined-behaviour sanitizers, and runs each for a bounded time.
# A crash, leak, timeout or out-of-memory input is kept in fuzz/regressions/<target>/, where
# the test suite replays it from then on, and fails the run. So does a run whose final
# coverage ends below the target's floor: a fuzzer that sees none of the code fails loudly.
#   FRAGLANE_FUZZ_SECONDS  time for each target (default 45)
#   FRAGLANE_FUZZ_TARGETS  targets to run (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FRAGLANE_FUZZ_SECONDS:-45}"
sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFRAGLANE_CORE_TESTS_ONLY=ON -DFRAGLANE_BUILD_TESTS=OFF -DFRAGLANE_BUILD_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer" \
    -DCMAKE_C_FLAGS="$sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null

# target:floor — each run starts from the target's corpus in fuzz/corpus (grown in 15-minute
# runs), so its coverage starts near what those runs reached; the floors lie about a tenth
# below that, far above the "cov: 1" of a fuzzer blind to the code under test.
all_targets="pk3:700 profile:650 tga:210 jpeg:120 bsp:330 shader:390 pack:1080 server:530"
targets="${FRAGLANE_FUZZ_TARGETS:-$all_targets}"
names=()
for t in $targets; do names+=("${t%%:*}_fuzz"); done
cmake --build build/fuzz -j"${FRAGLANE_JOBS:-2}" --target "${names[@]}"

status=0
for entry in $targets; do
    target="${entry%%:*}"
    floor="${entry##*:}"
    corpus="build/fuzz-corpus/$target"
    mkdir -p "$corpus" "fuzz/regressions/$target"
    log="build/fuzz-$target.log"
    if ! build/fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -max_len=65536 \
            -rss_limit_mb=2048 -timeout=20 -artifact_prefix="fuzz/regressions/$target/" \
            "$corpus" "fuzz/corpus/$target" > "$log" 2>&1; then
        echo "fuzzer $target found a failure; input kept in fuzz/regressions/$target/"
        tail -40 "$log"
        status=1
        continue
    fi
    final=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | awk '{print $2}')
    runs=$(grep -o 'Done [0-9]* runs' "$log" | awk '{print $2}')
    echo "fuzz $target: ${runs:-0} runs in ${seconds}s, final cov ${final:-0} (floor $floor)"
    if [ "${final:-0}" -lt "$floor" ]; then
        echo "fuzzer $target ends below its coverage floor: it no longer sees the code"
        status=1
    fi
done
exit $status
