#!/usr/bin/env bash
# Brings every Debian 12 package the build, the tests and the demo need.
# Idempotent: when everything is already installed it only runs dpkg-query.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libssl-dev libcli11-dev nlohmann-json3-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  python3 python3-pyftpdlib python3-openssl
  xvfb xauth x11-apps imagemagick fonts-noto-cjk openbox xdotool
  osslsigncode openssl curl time
  # the Windows build: MinGW-w64 (-posix compilers), GoogleTest's sources,
  # dpkg-source for Debian's curl sources, and wine64 to run the tests
  g++-mingw-w64-x86-64-posix googletest dpkg-dev wine64
  # the Windows window under wine: its own fonts (Tahoma, and Marlett for
  # the title bar's buttons; Hangul comes from Noto Sans CJK by font linking)
  fonts-wine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
