#!/usr/bin/env bash
# Timed tool run: "fraglane-cli list maps" on settings files of 25, 50 and 100 MB whose
# "[maps]" section claims a huge count, beside "wc -l" reading the same file. Prints peak
# memory as a multiple of the file's size and time per MB, so that both can be seen to stay
# linear in the file's size.
#   bench/settings_scale.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/settings_scale.sh BUILD_DIR}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/quake3.exe"
for mb in 25 50 100; do
    python3 - "$work/fraglane.ini" "$mb" <<'PY'
import sys
path, mb = sys.argv[1], int(sys.argv[2])
with open(path, "w", newline="") as f:
    f.write("[maps]\r\ncount=99999999\r\n")
    i = size = 0
    while size < mb * 1024 * 1024:
        line = "map%dname=q3dm%d\r\nmap%dmod=baseq3\r\n" % (i, i, i)
        f.write(line)
        size += len(line)
        i += 1
PY
    size=$(stat -c %s "$work/fraglane.ini")
    /usr/bin/time -f "%e %M" -o "$work/t" "$build/src/fraglane-cli" --dir "$work" list maps >/dev/null
    read -r secs kb < "$work/t"
    /usr/bin/time -f "%e" -o "$work/w" wc -l "$work/fraglane.ini" >/dev/null
    wc_secs=$(cat "$work/w")
    python3 - "$mb" "$size" "$secs" "$kb" "$wc_secs" <<'PY'
import sys
mb, size, secs, kb, wc = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
print(f"{mb} MB: {secs:.2f} s ({secs/mb*1000:.0f} ms/MB, wc -l {wc:.2f} s), "
      f"peak {kb/1024:.0f} MB = {kb*1024/size:.2f} x the file")
PY
done
