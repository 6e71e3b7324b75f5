#!/usr/bin/env bash
# Cross-builds the core, fraglane-cli and the core test suite for 64-bit Windows with Debian's
# mingw-w64 into build/windows/, runs the tests under Wine, and checks that the Windows CLI
# gives byte for byte what the Linux one gives on the same game directory.
#   libjpeg-turbo: built from Debian's own source package with the mingw toolchain (Debian has
#   no mingw package of it), fetched through a private deb-src list; cached in build/.
#   GoogleTest: built from the sources libgtest-dev ships.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs="${FRAGLANE_JOBS:-2}"

packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 libgtest-dev cmake ninja-build
          dpkg-dev openarena-088-data)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

deps="$root/build/windows-deps"
mkdir -p "$deps"
toolchain="$root/cmake/mingw-w64.cmake"

# libjpeg-turbo from the source package of the Debian release this machine runs.
if [ ! -f "$deps/prefix/lib/libjpeg.a" ]; then
    apt_dir="$deps/apt"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$deps/src"
    # The machine's own configured Debian sources (a mirror included), as source lists: the
    # repositories apt takes binary packages from, with their suites and components.
    apt-get indextargets --format '$(ORIGIN)|$(REPO_URI)|$(RELEASE)|$(COMPONENT)|$(TARGET_OF)' |
        awk -F'|' '$5 == "deb" && ($1 == "Debian" || $1 == "") {print "deb-src " $2 " " $3 " " $4}' |
        sort -u > "$apt_dir/sources.list"
    if [ ! -s "$apt_dir/sources.list" ]; then
        echo "windows.sh: no Debian source configured for apt on this machine" >&2
        exit 1
    fi
    apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
                 -o "Dir::Etc::SourceParts=/dev/null"
                 -o "Dir::State::Lists=$apt_dir/lists"
                 -o "Dir::Cache=$apt_dir/cache"
                 -o "APT::Sandbox::User=root")
    apt-get "${apt_options[@]}" update -qq
    (cd "$deps/src" && rm -rf libjpeg-turbo-* &&
        apt-get "${apt_options[@]}" source -qq libjpeg-turbo >/dev/null)
    source_dir=$(find "$deps/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
    cmake -S "$source_dir" -B "$deps/jpeg-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$deps/prefix" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
        -DWITH_JPEG8=OFF >/dev/null
    cmake --build "$deps/jpeg-build" -j"$jobs" >/dev/null
    cmake --install "$deps/jpeg-build" >/dev/null
fi

# GoogleTest from the sources libgtest-dev ships.
if [ ! -f "$deps/prefix/lib/libgtest.a" ]; then
    cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$deps/prefix" \
        -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$deps/gtest-build" -j"$jobs" >/dev/null
    cmake --install "$deps/gtest-build" >/dev/null
fi

# The core, the CLI and the core tests.
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DFRAGLANE_WINDOWS_DEPS="$deps/prefix" \
    -DFRAGLANE_CORE_TESTS_ONLY=ON -DFRAGLANE_BUILD_BENCH=OFF \
    -DGTest_DIR="$deps/prefix/lib/cmake/GTest" >/dev/null
# Everything: the module link checks too, which keep the arrows between modules on Windows.
cmake --build build/windows -j"$jobs"
rm -rf build/windows/install
cmake --install build/windows --prefix build/windows/install >/dev/null
test -f build/windows/install/bin/fraglane-cli.exe

export WINEPREFIX="$deps/wine" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
start=$(date +%s)
"$wine" build/windows/tests/fraglane_core_tests.exe --gtest_brief=1 | tr -d '\r' |
    grep -v '^needs Linux tools$\|: Skipped$' | tee build/windows/core-tests.log
grep -q '^\[  PASSED  \]' build/windows/core-tests.log
if grep -q '^\[  FAILED  \]' build/windows/core-tests.log; then
    echo "core tests under Wine: failures above" >&2
    exit 1
fi
echo "core tests under Wine: $(( $(date +%s) - start )) s"

# The Windows CLI and the Linux one on copies of the same game directory (the OpenArena
# archives): the same texts, mods, rows, lists, settings file, pictures and saved files.
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test -j"$jobs" --target fraglane-cli
compare="$root/build/windows/compare"
rm -rf "$compare"
for side in linux windows; do
    mkdir -p "$compare/$side/baseq3"
    : > "$compare/$side/quake3.exe"
    for pk3 in /usr/share/games/openarena/baseoa/*.pk3; do
        ln -s "$pk3" "$compare/$side/baseq3/"
    done
    printf '%s\r\n' '[maps]' 'selected=oa_dm1' 'rotate=1' 'rotationcount=2' 'rotation0=oa_dm1' \
        'rotation1=oa_dm2' '[bots]' 'selectedcount=2' 'selected0=addbot sarge 5 blue' \
        'selected1=addbot grism 3 red' > "$compare/$side/fraglane.ini"
done
linux_cli() { build/test/src/fraglane-cli --dir "$compare/linux" "$@"; }
windows_cli() { "$wine" build/windows/src/fraglane-cli.exe --dir "Z:${compare//\//\\}\\windows" "$@"; }
for command in "rescan-mods" "scan" "compose bat" "compose cfg" "compose name" "list mods" \
               "list maps" "list bots" "list rotation"; do
    # shellcheck disable=SC2086
    linux_cli $command > "$compare/linux.out" 2>/dev/null
    # shellcheck disable=SC2086
    windows_cli $command > "$compare/windows.out" 2>/dev/null
    if ! cmp -s "$compare/linux.out" "$compare/windows.out"; then
        echo "fraglane-cli $command differs between Linux and Windows:"
        diff "$compare/linux.out" "$compare/windows.out" | head -20
        exit 1
    fi
done
for command in save-bat save-cfg; do
    linux_cli $command >/dev/null
    windows_cli $command >/dev/null
done
# Settings file, picture cache and saved files, byte for byte.
if ! diff -r "$compare/linux" "$compare/windows" >/dev/null; then
    echo "the game directories differ after the same commands:"
    diff -r "$compare/linux" "$compare/windows" | head -20
    exit 1
fi
echo "fraglane-cli: Linux and Windows agree byte for byte ($(ls "$compare/linux/levelshots" | wc -l) pictures)"
