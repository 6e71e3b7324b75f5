#!/usr/bin/env bash
# Timed tool run: packs a staging folder of N small files (default 20,000 in 100 folders), or
# with "openarena" the maps/ folder of OpenArena's pak1-maps.pk3 (128 MB), with fraglane-cli
# at its default packing and with --smallest, beside 7-Zip's ZIP at -mx=5 and -mx=9 on as many
# threads as this machine has cores (package 7zip, left out when 7zz is not there) and
# Info-ZIP's zip -9, on the same folder, in one run: each time and size, and the ratios that
# say how the two packings stand (default: time against 7z -mx=5, size against zip -9;
# smallest: time and size against 7z -mx=9). Every archive must pass unzip -t.
#   bench/pack_tree.sh BUILD_DIR [N | openarena]
set -euo pipefail
build="${1:?usage: bench/pack_tree.sh BUILD_DIR [N | openarena]}"
n="${2:-20000}"
cli="$(cd "$build" && pwd)/src/fraglane-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$n" = openarena ]; then
    mkdir -p "$work/stage"
    unzip -qq /usr/share/games/openarena/baseoa/pak1-maps.pk3 'maps/*' -d "$work/stage"
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
cores=$(nproc)
packers=("fraglane|$cli pk3 pack STAGE OUT" "fraglane --smallest|$cli pk3 pack --smallest STAGE OUT"
         "zip -9|cd STAGE && zip -q -r -9 OUT .")
if command -v 7zz >/dev/null; then
    packers+=("7z -mx=5|cd STAGE && 7zz a -tzip -mx=5 -mmt=$cores OUT . >/dev/null"
              "7z -mx=9|cd STAGE && 7zz a -tzip -mx=9 -mmt=$cores OUT . >/dev/null")
else
    echo "7zz not found (package 7zip): the 7-Zip rows are left out" >&2
fi
results="$work/results"
: > "$results"
i=0
for p in "${packers[@]}"; do
    name=${p%%|*}
    out="$work/out$i.zip"
    command=${p#*|}
    command=${command//STAGE/$work/stage}
    command=${command//OUT/$out}
    start=$(date +%s.%N)
    (eval "$command") >/dev/null
    end=$(date +%s.%N)
    unzip -tqq "$out" || { echo "$name: unzip -t fails" >&2; exit 1; }
    echo "$name|$start|$end|$(stat -c %s "$out")" >> "$results"
    rm -f "$out"
    i=$((i + 1))
done
python3 - "$results" "$(find "$work/stage" -type f | wc -l)" "$cores" <<'PY'
import sys
rows = {}
for line in open(sys.argv[1]):
    name, start, end, size = line.rstrip("\n").split("|")
    rows[name] = (float(end) - float(start), int(size))
print(f"{sys.argv[2]} files, {sys.argv[3]} cores")
print(f"{'packer':22} {'time':>9} {'size':>12}")
for name, (t, s) in rows.items():
    print(f"{name:22} {t:8.2f}s {s:12,}")
def ratio(a, b, what):
    if a in rows and b in rows:
        i = 0 if what == "time" else 1
        print(f"{a} / {b} {what}: {rows[a][i] / rows[b][i]:.3f}")
ratio("fraglane", "7z -mx=5", "time")
ratio("fraglane", "zip -9", "time")
ratio("fraglane", "zip -9", "size")
ratio("fraglane --smallest", "7z -mx=9", "time")
ratio("fraglane --smallest", "7z -mx=9", "size")
PY
