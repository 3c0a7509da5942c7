#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs both test suites:
# the Linux build in build/, then the Windows build in build-windows/, whose
# tests run under wine64 (the first run also builds libcurl for Windows).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
bash scripts/build.sh
linux=0
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300) || linux=$?
bash scripts/build-windows.sh
windows=0
(cd build-windows && ctest --output-on-failure -j"$jobs" --timeout 300) || windows=$?
if ((linux || windows)); then
  echo "failed: $( ((linux)) && echo "Linux suite " )$( ((windows)) && echo "Windows suite" )" >&2
  exit 1
fi
