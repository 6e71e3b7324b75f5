#!/usr/bin/env bash
# Timed tool run: the repack of every OpenArena map with fraglane-cli, its time split at the
# status "create pk3 ..." into staging (extracting maps, scripts and textures) and writing the
# archive, beside Info-ZIP's zip -9 and 7-Zip's ZIP at -mx=5 (package 7zip; left out without
# 7zz) packing the same staging folder. With --smallest, the repack packs that way.
#   bench/repack_openarena.sh BUILD_DIR [--smallest]
set -euo pipefail
build="${1:?usage: bench/repack_openarena.sh BUILD_DIR}"
cli="$(cd "$build" && pwd)/src/fraglane-cli"
packing=("${@:2}")
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
python3 - "$cli" "$game" "${packing[*]:-}" "${maps[@]}" <<'PY'
import os, shutil, subprocess, sys, time
cli, game, packing, maps = sys.argv[1], sys.argv[2], sys.argv[3].split(), sys.argv[4:]
start = time.time()
split = None
p = subprocess.Popen([cli, "--dir", game, "repack", *packing, *maps], stdout=subprocess.PIPE,
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
print(f"repack of {len(maps)} maps{' ' + ' '.join(packing) if packing else ''}: {ours:.1f} s "
      f"(staging {split - start:.1f} s, writing {end - split:.1f} s), zip -r -9 of the staging "
      f"folder {zip_:.1f} s; time ratio {ours / zip_:.2f}, writing alone "
      f"{(end - split) / zip_:.2f}; size {os.path.getsize(archive)} vs "
      f"{os.path.getsize(os.path.join(game, 'zip.pk3'))} bytes")
if shutil.which("7zz"):
    s0 = time.time()
    subprocess.run(["7zz", "a", "-tzip", "-mx=5", f"-mmt={os.cpu_count()}",
                    os.path.join(game, "7z.pk3"), ".", "-x!" + os.path.basename(archive)],
                   cwd=stage, check=True, stdout=subprocess.DEVNULL)
    s1 = time.time()
    print(f"7z -mx=5 of the staging folder {s1 - s0:.1f} s; writing alone against it "
          f"{(end - split) / (s1 - s0):.2f}; size {os.path.getsize(os.path.join(game, '7z.pk3'))}")
PY
