#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
# As root it runs apt-get update once and apt-get install -y; otherwise it
# names the packages to install and fails.
# Usage: scripts/install-deps.sh [extra-package ...]
set -euo pipefail

packages=(cmake g++ make libgtest-dev libgmock-dev nlohmann-json3-dev binutils-mingw-w64-i686 libbenchmark-dev
  pkg-config libical-dev libgmime-3.0-dev libsqlite3-dev
  python3 python3-icalendar python3-vobject khal khard todoman "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y "${missing[@]}"
