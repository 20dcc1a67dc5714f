#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. Usage: bootstrap.sh [extra packages...]
set -euo pipefail

packages=(cmake g++ make pkg-config libstaden-read-dev zlib1g-dev libbz2-dev liblzma-dev libzstd-dev
          libisal-dev libdeflate-dev libboost-dev libpugixml-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib python3-biopython
          python3-setuptools python3-wheel python3-pip python3-venv python3-build mypy "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "bootstrap: these Debian packages are missing: ${missing[*]}" >&2
  echo "bootstrap: run as root, or install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
