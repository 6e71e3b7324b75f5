#!/usr/bin/env bash
# Timed tool run: the repack of every OpenArena map with fraglane-cli, its time split at the
# status "create pk3 ..." into staging (extracting maps, scripts and textures) and writing the
# archive, beside Info-ZIP's zip at the same level (-9) packing the same staging folder.
#   bench/repack_openarena.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/repack_openarena.sh BUILD_DIR}"
cli="$(cd "$build" && pwd)/src/fraglane-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
game="$work/game"
mkdir -p "$game/baseoa"
touch "$game/quake3.exe"
ln -s /usr/share/games/openarena/baseoa/*.pk3 "$game/baseoa/"
"$cli" --dir "$game" rescan-mods >/dev/null 2>&1
"$cli" --dir "$game" scan >/dev/null 2>&1
mapfile -t maps < <("$cli" --dir "$game" list maps | awk -F'\t' '{print $2 "@" $1}' | sort -u)
sync
python3 - "$cli" "$game" "${maps[@]}" <<'PY'
import os, subprocess, sys, time
cli, game, maps = sys.argv[1], sys.argv[2], sys.argv[3:]
start = time.time()
split = None
p = subprocess.Popen([cli, "--dir", game, "repack", *maps], stdout=subprocess.PIPE,
                     stderr=subprocess.PIPE, text=True, errors="replace")
for line in p.stderr:
    if split is None and line.startswith("create pk3"):
        split = time.time()
archive = p.stdout.read().strip()
if p.wait() != 0 or split is None:
    sys.exit("the repack failed")
end = time.time()
stage = os.path.dirname(archive)
subprocess.run(["sync"])
z0 = time.time()
subprocess.run(["zip", "-q", "-r", "-9", os.path.join(game, "zip.pk3"), ".", "-x",
                os.path.basename(archive)], cwd=stage, check=True)
z1 = time.time()
ours, zip_ = end - start, z1 - z0
print(f"repack of {len(maps)} maps: {ours:.1f} s (staging {split - start:.1f} s, writing "
      f"{end - split:.1f} s), zip -r -9 of the staging folder {zip_:.1f} s; time ratio "
      f"{ours / zip_:.2f}, writing alone {(end - split) / zip_:.2f}; size "
      f"{os.path.getsize(archive)} vs {os.path.getsize(os.path.join(game, 'zip.pk3'))} bytes")
PY
