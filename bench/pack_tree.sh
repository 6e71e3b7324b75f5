#!/usr/bin/env bash
# Timed tool run: packs a staging folder of N small files (default 20,000 in 100 folders), or
# with "openarena" the maps/ folder of OpenArena's pak1-maps.pk3 (128 MB), with fraglane-cli,
# beside Info-ZIP's zip at the same level (-9) on the same folder: time and size.
#   bench/pack_tree.sh BUILD_DIR [N | openarena]
set -euo pipefail
build="${1:?usage: bench/pack_tree.sh BUILD_DIR [N]}"
n="${2:-20000}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$n" = openarena ]; then
    mkdir -p "$work/stage"
    unzip -qq /usr/share/games/openarena/baseoa/pak1-maps.pk3 'maps/*' -d "$work/stage"
    n=$(find "$work/stage" -type f | wc -l)
else
python3 - "$work/stage" "$n" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    d = os.path.join(root, "textures", "set%03d" % (i % 100))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "tex%05d.tga" % i), "wb") as f:
        f.write((b"texture %d " % i) * 20)
PY
fi
sync
now() { date +%s.%N; }
t0=$(now); "$build/src/fraglane-cli" pk3 pack "$work/stage" "$work/fraglane.pk3" >/dev/null; t1=$(now)
(cd "$work/stage" && zip -q -r -9 "$work/zip.pk3" .); t2=$(now)
python3 - "$t0" "$t1" "$t2" "$n" "$work/fraglane.pk3" "$work/zip.pk3" <<'PY'
import os, sys
t0, t1, t2, n = map(float, sys.argv[1:5])
ours, zip_ = t1 - t0, t2 - t1
a, b = os.path.getsize(sys.argv[5]), os.path.getsize(sys.argv[6])
print(f"{int(n)} files: fraglane-cli pk3 pack {ours:.2f} s, zip -r -9 {zip_:.2f} s, "
      f"time ratio {ours/zip_:.2f}; size {a} vs {b} bytes, ratio {a/b:.3f}")
PY
