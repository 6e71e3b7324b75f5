#!/usr/bin/env bash
# End to end under Wine, after scripts/windows.sh has installed build/windows/install: the
# installed fraglane.exe in a game directory whose quake3.exe is the real dedicated server
# built from the engine's source (scripts/windows-engine.sh), OpenArena's archives and the
# game module in baseoa/, and a settings file with a map, a bot, the loopback settings in the
# pre-command and the host name in the post-command. "start" is pressed in the window on a
# virtual display; the engine runs through the shell's open of the saved batch file, and its
# answer to getstatus on loopback must carry the map, the bot among the players and the host
# name as one word. The engine is then ended by its process id (its pid file). Without the
# engine's source it says so in one line and passes.
#   scripts/windows-end-to-end.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
engine=$(scripts/windows-engine.sh)
if [ -z "$engine" ]; then
    echo "end to end under Wine: skipped, no engine built"
    exit 0
fi
export WINEPREFIX="$root/build/windows-deps/wine" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

e2e="$root/build/windows/e2e"
game="$e2e/game"
rm -rf "$e2e"
mkdir -p "$game/baseoa" "$e2e/home"
cp build/windows/install/bin/* "$game/"
cp "$engine/ioq3ded.exe" "$game/quake3.exe"
cp "$engine/qagame.dll" "$game/baseoa/"
ln -s /usr/share/games/openarena/baseoa/*.pk3 "$game/baseoa/"
# A UDP port nothing holds now, for this run alone.
port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Loopback only, no master servers, a home of its own; the game module as a DLL, OpenArena's
# folder as the base game.
pre="+set vm_game 0 +set com_basegame baseoa +set net_ip 127.0.0.1 +set net_port $port"
pre+=' +set sv_master1 "" +set sv_master2 "" +set sv_master3 ""'
pre+=" +set fs_homepath $(windows_path "$e2e/home")"
printf '%s\r\n' '[mods]' 'selected=baseoa' '[maps]' 'selected=oa_dm1' '[bots]' 'selectedcount=1' \
    'selected0=addbot sarge 3' '[advanced]' "pre_cmd=$pre" \
    'post_cmd=+set sv_hostname "My Server"' > "$game/fraglane.ini"

cleanup() {
    "$wineserver" -k 2>/dev/null || true
    if [ -n "${display_pid:-}" ]; then kill "$display_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
# A virtual display of our own, so that the window can be found and pressed on it.
number=90
while [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1400x1000x24 -nolisten tcp >/dev/null 2>&1 &
display_pid=$!
export DISPLAY=":$number"
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# Wine's desktop, started by the first program of a run, takes the display it finds: every
# program here runs with this one.
"$wineserver" -k 2>/dev/null || true
"$wine" "$game/fraglane-cli.exe" --dir "$(windows_path "$game")" rescan-mods >/dev/null
"$wine" "$game/fraglane-cli.exe" --dir "$(windows_path "$game")" compose bat > "$e2e/line.txt"
WINEPATH= env -C "$game" "$wine" ./fraglane.exe > "$e2e/window.log" 2>&1 &
disown  # ended with Wine's processes at the end
# Looked for again and again: a search fails outright when a window of Wine's start goes away
# while it reads the window tree.
window=""
for _ in $(seq 1 90); do
    window=$(xdotool search --name '^Fraglane$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 1
done
if [ -z "$window" ]; then
    echo "end to end under Wine: the window did not come up" >&2
    exit 1
fi
sleep 2  # its first paint
import -window root "$e2e/window.png"
# "start" on the "ready" page below, by its place from the window's corner at its first size.
read -r x y < <(xdotool getwindowgeometry "$window" |
    awk '/Position/ {split($2, p, ","); print p[1], p[2]}')
xdotool mousemove $((x + 507)) $((y + 507)) click 1

# The engine's answer on loopback: the map, the bot among the players, the host name whole.
if ! python3 - "$port" <<'PY'
import socket, sys, time
port = int(sys.argv[1])
deadline = time.time() + 120
last = b""
while time.time() < deadline:
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(1)
    s.sendto(b"\xff\xff\xff\xffgetstatus e2e\n", ("127.0.0.1", port))
    try:
        last = s.recvfrom(65536)[0]
    except OSError:
        time.sleep(1)
        continue
    lines = last.decode("latin-1").split("\n")
    parts = lines[1].split("\\")[1:] if len(lines) > 1 else []
    info = dict(zip(parts[0::2], parts[1::2]))
    players = [l for l in lines[2:] if l]
    if (info.get("mapname") == "oa_dm1" and info.get("sv_hostname") == "My Server"
            and any('"Sarge' in p for p in players)):
        print("getstatus: map oa_dm1, host name My Server, players", players)
        sys.exit(0)
    time.sleep(1)
print("no answer with the map, the bot and the host name; last:", last[:600], file=sys.stderr)
sys.exit(1)
PY
then
    echo "end to end under Wine: the engine that start ran did not answer as composed" >&2
    echo "composed line: $(cat "$e2e/line.txt")" >&2
    exit 1
fi
import -window root "$e2e/running.png"
# Ended by its process id, from the pid file the engine writes in its home: it then answers
# no more.
pid=$(tr -dc '0-9' < "$e2e/home/baseoa/ioq3_server.pid")
"$wine" taskkill /PID "$pid" /F >/dev/null 2>&1
if python3 - "$port" <<'PY'
import socket, sys, time
time.sleep(1)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(2)
s.sendto(b"\xff\xff\xff\xffgetstatus e2e\n", ("127.0.0.1", int(sys.argv[1])))
try:
    s.recvfrom(65536)
except OSError:
    sys.exit(1)
PY
then
    echo "end to end under Wine: the engine still answers after taskkill /PID $pid" >&2
    exit 1
fi
echo "end to end under Wine: start ran the real engine (process $pid), which answered" \
     "getstatus as composed and ended by its process id"
