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
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "deb-src http://deb.debian.org/debian $codename main" > "$apt_dir/sources.list"
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
cmake --build build/windows -j"$jobs" --target fraglane_core_tests fraglane-cli
