#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, when they are missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang clang-tidy qt6-base-dev zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libgtest-dev
          libbenchmark-dev libclang-rt-14-dev qt6-image-formats-plugins xvfb xauth x11-utils xdotool imagemagick unzip zip python3 openarena-088-data
          openarena-server systemd)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
