#!/usr/bin/env bash
# clang-tidy with the committed .clang-tidy over every source of the Linux build (headers of
# src/ through them); any finding fails. Needs the compile commands of build/test.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/test}"
test -f "$build/compile_commands.json"
# The *_win files are compiled only by the Windows build, and so have no compile command here.
find src -name '*.cpp' ! -name '*_win.cpp' -print0 | sort -z |
    xargs -0 -P"${FRAGLANE_JOBS:-2}" -n4 clang-tidy -p "$build" --quiet 2>/dev/null
echo "clang-tidy: no findings"
