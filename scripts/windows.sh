#!/usr/bin/env bash
# Cross-builds Fraglane for 64-bit Windows with Debian's mingw-w64 into build/windows/: the
# window, fraglane-cli and both test suites. Runs both suites under Wine, checks that the
# installed folder loads only system DLLs and that its window comes up alone (Wine on a
# virtual display), that the Windows CLI gives byte for byte what the Linux one gives on the
# same game directory, and that "start" in the installed window runs the real engine
# (scripts/windows-end-to-end.sh; the engine from scripts/windows-engine.sh).
#   libjpeg-turbo, libdeflate and Qt (its base module: Core, Gui, Widgets, Test and the windows
#   and offscreen platforms): built from Debian's own source packages with the mingw toolchain
#   (Debian has no mingw package of any), fetched through a private deb-src list made from
#   the machine's configured Debian sources; cached in build/windows-deps. Qt is the version
#   of the machine's own Qt, whose tools (moc, rcc, uic) serve the cross build.
#   GoogleTest: built from the sources libgtest-dev ships.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs="${FRAGLANE_JOBS:-2}"

packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 libgtest-dev cmake ninja-build
          dpkg-dev openarena-088-data qt6-base-dev qt6-base-dev-tools perl xvfb xauth x11-utils
          xdotool imagemagick python3 xz-utils)
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

# A source package of the Debian release this machine runs, unpacked into $deps/src.
fetch_source() {
    local apt_dir="$deps/apt"
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
    local apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
                       -o "Dir::Etc::SourceParts=/dev/null"
                       -o "Dir::State::Lists=$apt_dir/lists"
                       -o "Dir::Cache=$apt_dir/cache"
                       -o "APT::Sandbox::User=root")
    apt-get "${apt_options[@]}" update -qq
    (cd "$deps/src" && rm -rf "$1"-[0-9]* &&
        apt-get "${apt_options[@]}" source -qq "$1" >/dev/null)
}

# libjpeg-turbo from the source package of the Debian release this machine runs.
if [ ! -f "$deps/prefix/lib/libjpeg.a" ]; then
    fetch_source libjpeg-turbo
    source_dir=$(find "$deps/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
    cmake -S "$source_dir" -B "$deps/jpeg-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$deps/prefix" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
        -DWITH_JPEG8=OFF >/dev/null
    cmake --build "$deps/jpeg-build" -j"$jobs" >/dev/null
    cmake --install "$deps/jpeg-build" >/dev/null
fi

# libdeflate from the source package of the Debian release this machine runs: its static
# library and header, built with the cross compiler by the package's own Makefile.
if [ ! -f "$deps/prefix/lib/libdeflate.a" ]; then
    fetch_source libdeflate
    source_dir=$(find "$deps/src" -maxdepth 1 -type d -name 'libdeflate-*' | head -1)
    make -C "$source_dir" -j"$jobs" CC=x86_64-w64-mingw32-gcc-posix \
        AR=x86_64-w64-mingw32-ar libdeflatestatic.lib >/dev/null
    mkdir -p "$deps/prefix/lib" "$deps/prefix/include"
    cp "$source_dir/libdeflate.h" "$deps/prefix/include/"
    cp "$source_dir/libdeflatestatic.lib" "$deps/prefix/lib/libdeflate.a"
fi

# GoogleTest from the sources libgtest-dev ships.
if [ ! -f "$deps/prefix/lib/libgtest.a" ]; then
    cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$deps/prefix" \
        -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$deps/gtest-build" -j"$jobs" >/dev/null
    cmake --install "$deps/gtest-build" >/dev/null
fi

# Qt's base module from the source package of the machine's own Qt, static: every program is
# one file that needs nothing beside it (no Qt DLLs, no plugin folders, no deployment tool,
# which a cross build could not run), with the platform plugins linked in. Only what the
# window needs: no SQL, network, D-Bus or OpenGL; PNG among the image formats (the window's
# own pictures; level shots go through the program's TGA and JPEG readers). No tablet events:
# Debian's source leaves out the tablet interface header (wintab.h) that they need; no dynamic
# GL either, which the windows platform plugin would compile without OpenGL and fail.
qt="$deps/qt"
if [ ! -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    qt_started=$(date +%s)
    fetch_source qt6-base
    qt_source=$(find "$deps/src" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)
    cmake -S "$qt_source" -B "$deps/qt-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$qt" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DQT_BUILD_BENCHMARKS=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_opengl=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
        -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_system_freetype=OFF \
        -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF \
        -DFEATURE_dynamicgl=OFF -DFEATURE_tabletevent=OFF -DFEATURE_testlib=ON >/dev/null
    cmake --build "$deps/qt-build" -j"$jobs" >/dev/null
    cmake --install "$deps/qt-build" >/dev/null
    echo "Qt for Windows built in $(( $(date +%s) - qt_started )) s"
fi

# The window, the CLI and both suites.
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DFRAGLANE_WINDOWS_DEPS="$deps/prefix;$qt" \
    -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DFRAGLANE_CORE_TESTS_ONLY=OFF -DFRAGLANE_BUILD_BENCH=OFF \
    -DGTest_DIR="$deps/prefix/lib/cmake/GTest" >/dev/null
# Everything: the module link checks too, which keep the arrows between modules on Windows.
cmake --build build/windows -j"$jobs"
rm -rf build/windows/install
cmake --install build/windows --prefix build/windows/install --strip >/dev/null
test -f build/windows/install/bin/fraglane-cli.exe
test -f build/windows/install/bin/fraglane.exe

export WINEPREFIX="$deps/wine" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
# A suite under Wine: its output goes to a file first (a pipe would stay open as long as the
# wineserver this run starts), then the verdict. Tests that need Linux tools are skipped there.
run_suite() {
    local name=$1 started
    shift
    started=$(date +%s)
    local attempt status
    # Wine's own start on a fresh virtual display has been seen to hang once in a while,
    # before the suite prints anything: such a run is given one more try, and said.
    for attempt in 1 2; do
        "$wineserver" -k 2>/dev/null || true
        status=0
        "$@" build/windows/tests/fraglane_$name.exe --gtest_brief=1 > build/windows/$name.raw 2>&1 ||
            status=$?
        "$wineserver" -k 2>/dev/null || true
        if [ "$status" != 124 ] || grep -q '^\[==========\]' build/windows/$name.raw; then
            break
        fi
        echo "$name under Wine: no answer within the time limit (attempt $attempt)" >&2
    done
    tr -d '\r' < build/windows/$name.raw | { grep -v '^needs Linux tools$\|: Skipped$' || true; } |
        tee build/windows/$name.log
    if ! grep -q '^\[  PASSED  \]' build/windows/$name.log ||
       grep -q '^\[  FAILED  \]' build/windows/$name.log; then
        echo "$name under Wine: failures above" >&2
        exit 1
    fi
    echo "$name under Wine: $(( $(date +%s) - started )) s"
}
run_suite core_tests timeout 300 "$wine"
# The window suite runs offscreen, but Wine itself needs a display for Qt's hidden windows.
run_suite window_tests timeout 180 xvfb-run -a "$wine"

# The installed folder alone: each program loads only DLLs of the system, and the window
# comes up from a copy of the folder in a game directory, with no search path of ours.
system32="$WINEPREFIX/drive_c/windows/system32"
for program in fraglane.exe fraglane-cli.exe; do
    for dll in $(x86_64-w64-mingw32-objdump -p "build/windows/install/bin/$program" |
                 awk '/DLL Name:/ {print $3}'); do
        # A DLL of the toolchain (the C++ runtime, threads, zlib) would have to be carried
        # along; one that the system has not, could not be loaded at all. The api-ms-win-*
        # names are API sets, which the loader of Windows 10 (as Qt 6 needs) resolves itself.
        case "$dll" in api-ms-win-*) continue ;; esac
        if [ -n "$(find /usr/x86_64-w64-mingw32 /usr/lib/gcc/x86_64-w64-mingw32 -iname "$dll" | head -1)" ] ||
           [ -z "$(find "$system32" -maxdepth 1 -iname "$dll" | head -1)" ]; then
            echo "$program needs $dll, which is no DLL of the system" >&2
            exit 1
        fi
    done
done
alone="$root/build/windows/alone"
rm -rf "$alone"
mkdir -p "$alone"
cp build/windows/install/bin/* "$alone/"
: > "$alone/quake3.exe"
"$wineserver" -k 2>/dev/null || true
(cd "$alone" && WINEPATH= timeout 60 xvfb-run -a "$wine" ./fraglane.exe) &
window=$!
for _ in $(seq 1 450); do
    [ -d "$alone/levelshots" ] && [ -d "$alone/temp" ] && break
    sleep 0.1
done
kill "$window" 2>/dev/null || true
wait "$window" 2>/dev/null || true
"$wineserver" -k 2>/dev/null || true
if [ ! -d "$alone/levelshots" ]; then
    echo "the installed fraglane.exe did not come up alone" >&2
    exit 1
fi
echo "installed folder: fraglane.exe comes up alone"

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

# The real engine, built from its source when that is there, started by "start" in the
# installed window.
scripts/windows-end-to-end.sh
