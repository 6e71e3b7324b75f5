#!/usr/bin/env bash
# The window of the Windows build under Wine beside the Linux window, at the same size, for a
# look: each in a fresh game directory with the OpenArena archives, on the map page, after
# "rescan mods", "rescan maps" and a click on a map row. Needs the builds of ./test
# (build/test) and scripts/windows.sh (build/windows/install). Writes linux.png and
# windows.png into the folder given (default build/windows/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out="${1:-$root/build/windows/screenshots}"
mkdir -p "$out"
export WINEPREFIX="$root/build/windows-deps/wine" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)

for side in linux windows; do
    game="$out/$side-game"
    rm -rf "$game"
    mkdir -p "$game/baseq3"
    : > "$game/quake3.exe"
    ln -s /usr/share/games/openarena/baseoa/*.pk3 "$game/baseq3/"
    if [ "$side" = linux ]; then
        cp build/test/src/fraglane "$game/"
        command="./fraglane"
    else
        cp build/windows/install/bin/fraglane.exe "$game/"
        command="$wine ./fraglane.exe"
    fi
    # Places inside the window at its first size: the map tab, "rescan mods", the mod box (its
    # first mod chosen), "rescan maps", the third map row.
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        set -e
        cd "$1"
        $2 & pid=$!
        for _ in $(seq 1 300); do
            window=$(xdotool search --name "^Fraglane$" 2>/dev/null | head -1) && [ -n "$window" ] && break
            sleep 0.1
        done
        sleep 2
        click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep "$3"; }
        click 258 33 1
        click 192 81 3
        click 95 81 1
        xdotool key --window "$window" Down Return
        sleep 1
        click 299 81 15
        click 53 172 3
        import -window root "$3"
        python3 "$4/scripts/wm-close.py" Fraglane || true
        sleep 2
        kill "$pid" 2>/dev/null || true
    ' _ "$game" "$command" "$out/$side.png" "$root"
    [ "$side" = windows ] && { /usr/lib/wine/wineserver -k 2>/dev/null || true; }
    echo "$side: $out/$side.png"
done
