#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what building and testing Quendle needs on Debian 12. Idempotent:
# when every package is already there it returns at once.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    zlib1g-dev libexpat1-dev libdeflate-dev libisal-dev
    python3 python3-openpyxl python3-xlrd python3-olefile libxml2-utils
    clang-14 libclang-rt-14-dev clang-format-14 git unzip
    qt6-base-dev qt6-qpa-plugins libqt6test6
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
