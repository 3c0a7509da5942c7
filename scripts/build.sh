#!/usr/bin/env bash
# Configures and builds into build/ (warnings are errors here, as in CI).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARONE_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build -j"$(nproc)"
