#!/usr/bin/env bash
# Checks the README's systemd unit with systemd-analyze verify: the unit as written, its
# /srv/q3 moved to a throw-away folder that holds the built fraglane-cli. Any finding fails.
#   scripts/verify-unit.sh README.md build/test/src/fraglane-cli
set -euo pipefail
readme="$1"
cli="$(realpath "$2")"
if ! command -v systemd-analyze >/dev/null; then
    echo "systemd-analyze is not installed" >&2
    exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/q3"
ln -s "$cli" "$work/q3/fraglane-cli"
# The block that follows the words "A service unit (systemd)".
awk '/^A service unit \(systemd\)/ { found = 1 } found && /^```/ { if (inside) exit; inside = 1; next }
     inside { print }' "$readme" | sed "s|/srv/q3|$work/q3|g" > "$work/fraglane-q3.service"
grep -q '^ExecStart=' "$work/fraglane-q3.service"
findings="$(systemd-analyze verify "$work/fraglane-q3.service" 2>&1)" || { echo "$findings" >&2; exit 1; }
if [ -n "$findings" ]; then
    echo "$findings" >&2
    exit 1
fi
echo "the README's unit verifies"
