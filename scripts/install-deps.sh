#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build's Debian packages is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    juce-modules-source
    libasound2-dev libfreetype-dev libfontconfig1-dev libpng-dev libjpeg-dev libgif-dev
    libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxcursor-dev
    googletest libgtest-dev libbenchmark-dev jq
    lv2-dev liblilv-dev lilv-utils
    xvfb
    clang libclang-rt-14-dev clang-format-14
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
