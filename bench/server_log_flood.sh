#!/usr/bin/env bash
# Timed tool run: the window following a server whose engine writes 1 MB/s of long lines of
# control bytes and bidirectional characters (its server page hidden, then shown), beside the
# same window with no server. The engine is a stand-in (python3) that answers the status
# query, so that the start counts. Prints the window's peak memory and its share of one core
# in each run, and their ratios to the idle window's.
#   bench/server_log_flood.sh BUILD_DIR [SECONDS]
set -euo pipefail
build="$(realpath "${1:?usage: bench/server_log_flood.sh BUILD_DIR [SECONDS]}")"
seconds="${2:-20}"
work=$(mktemp -d)
cleanup() {
    "$work/fraglane-cli" --dir "$work" stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
# The watcher is the program that starts the server, started again: a copy of its own.
cp "$build/src/fraglane-cli" "$work/"
port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/flood-engine" <<PY
#!/usr/bin/env python3
import os, random, socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", $port))
s.setblocking(False)
out = sys.stdout.buffer
out.write(b"Opening IP socket: 127.0.0.1:$port\nHitch warning\n")
out.flush()
bytes_ = [bytes([b]) for b in range(1, 32) if b != 10] + ["\u202e".encode(), b"x"]
line = b"".join(random.choice(bytes_) for _ in range(6000)) + b"\n"
chunk = line * (65536 // len(line) + 1)
while True:
    out.write(chunk[:65536])  # 64 KiB, 16 times a second
    out.flush()
    try:
        q, addr = s.recvfrom(2048)
        if q.startswith(b"\xff\xff\xff\xffgetstatus"):
            challenge = q.split(b" ", 1)[1].strip() if b" " in q else b""
            s.sendto(b"\xff\xff\xff\xffstatusResponse\n\\\\mapname\\\\flood\\\\challenge\\\\"
                     + challenge + b"\n", addr)
    except BlockingIOError:
        pass
    time.sleep(1 / 16)
PY
chmod +x "$work/flood-engine"
printf '[maps]\r\nselected=flood\r\n[advanced]\r\nengine=%s\r\n' "$work/flood-engine" > "$work/fraglane.ini"

# The window's share of a core and peak memory (kB), its server page shown or not.
measure() {
    "$build/bench/server_log_window" "$work" "$seconds" "$1"
}
read -r idle_cpu idle_kb < <(measure server)
"$work/fraglane-cli" --dir "$work" start --detach >/dev/null
read -r hidden_cpu hidden_kb < <(measure other)
read -r shown_cpu shown_kb < <(measure server)
log_mb=$(du -m "$work/fraglane-server.log" | cut -f1)
python3 - "$idle_cpu" "$idle_kb" "$hidden_cpu" "$hidden_kb" "$shown_cpu" "$shown_kb" "$log_mb" <<'PY'
import sys
ic, ik, hc, hk, sc, sk = (float(v) for v in sys.argv[1:7])
print(f"idle window, no server:      peak {ik/1024:.0f} MB, {ic*100:.1f} % of a core")
print(f"flood, server page hidden:   peak {hk/1024:.0f} MB, {hc*100:.1f} % of a core "
      f"({hk/ik:.2f} x, {hc/max(ic, 1e-9):.1f} x idle)")
print(f"flood, server page shown:    peak {sk/1024:.0f} MB, {sc*100:.1f} % of a core "
      f"({sk/ik:.2f} x, {sc/max(ic, 1e-9):.1f} x idle); the log grew to {sys.argv[7]} MB")
PY
