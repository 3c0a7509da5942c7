#!/usr/bin/env bash
# Cross-builds the Windows program into build-windows/ with MinGW-w64:
# build-windows/bin/parone-deploy-cli.exe, a 64-bit program that needs only
# Windows' own DLLs, and the Windows tests (run them with scripts/test.sh).
# Installs what is missing and builds libcurl for Windows the first time.
# CLI11 and nlohmann-json are header-only: the host's Debian packages serve.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build-windows-curl.sh build-windows/curl
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARONE_WARNINGS_AS_ERRORS=ON \
  -DCURL_DIR="$PWD/build-windows/curl/install/lib/cmake/CURL" \
  -DPARONE_CLI11_INCLUDE_DIR=/usr/include -DPARONE_JSON_INCLUDE_DIR=/usr/include >/dev/null
cmake --build build-windows -j"${PARONE_JOBS:-2}"
