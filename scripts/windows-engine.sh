#!/usr/bin/env bash
# Builds the Windows dedicated server (ioq3ded.exe) and its game module (qagame.dll) with the
# mingw-w64 cross compiler from the engine's source, an ioquake3 archive: the file
# FRAGLANE_ENGINE_SOURCE names, else ../shared/engine/ioq3-*.tar.xz beside the repository.
# Nothing of the source enters the repository; the two files are cached in
# build/windows-deps/engine. Prints that folder; without a source, one line on stderr and
# nothing on stdout (the callers then go on without the engine).
#   scripts/windows-engine.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
engine="$root/build/windows-deps/engine"
if [ -f "$engine/ioq3ded.exe" ] && [ -f "$engine/qagame.dll" ]; then
    echo "$engine"
    exit 0
fi
source="${FRAGLANE_ENGINE_SOURCE:-}"
if [ -z "$source" ]; then
    source=$(find "$root/../shared/engine" -maxdepth 1 -name 'ioq3-*.tar.xz' 2>/dev/null |
             sort | head -1)
fi
if [ -z "$source" ] || [ ! -f "$source" ]; then
    echo "windows-engine.sh: no engine source (../shared/engine/ioq3-*.tar.xz or" \
         "FRAGLANE_ENGINE_SOURCE): the Windows engine is not built" >&2
    exit 0
fi
work="$root/build/windows-deps/engine-build"
rm -rf "$work"
mkdir -p "$work/src"
tar -xf "$source" -C "$work/src"
tree=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d | head -1)
# windres loses the icon path that the build hands it through a quoted define: the icon is
# put beside the resource script and named there instead.
cp "$tree/misc/windows/quake3.ico" "$tree/code/sys/"
sed -i 's/^#ifdef WINDOWS_ICON_PATH/#if 0/' "$tree/code/sys/win_resource.rc"
# The server and the game module only: no client, renderers, sound, codecs or downloads.
cmake -S "$tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DBUILD_CLIENT=OFF -DBUILD_RENDERER_GL1=OFF -DBUILD_RENDERER_GL2=OFF \
    -DBUILD_GAME_QVMS=OFF -DBUILD_GAME_LIBRARIES=ON -DUSE_HTTP=OFF -DUSE_OPENAL=OFF \
    -DUSE_CODEC_VORBIS=OFF -DUSE_CODEC_OPUS=OFF -DUSE_VOIP=OFF -DUSE_MUMBLE=OFF >/dev/null
cmake --build "$work/build" -j"${FRAGLANE_JOBS:-2}" --target ioq3ded qagame_baseq3 >/dev/null 2>&1 ||
    { echo "windows-engine.sh: the engine's cross build failed (see $work/build)" >&2; exit 1; }
mkdir -p "$engine"
cp "$(find "$work/build" -name ioq3ded.exe | head -1)" "$(find "$work/build" -name qagame.dll | head -1)" \
    "$engine/"
rm -rf "$work"
echo "$engine"
