#!/usr/bin/env bash
# Configures and builds into build/ (warnings are errors here, as in CI).
#   scripts/build.sh              everything: the programs, the tests, the benchmarks
#   scripts/build.sh TARGET...    only those targets (and what they need)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARONE_WARNINGS_AS_ERRORS=ON >/dev/null
if (($#)); then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
