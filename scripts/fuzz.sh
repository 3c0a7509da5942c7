#!/usr/bin/env bash
# Builds the libFuzzer target with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs it.
#   scripts/fuzz.sh [SECONDS]      (default 600)
# Needs clang (apt-get install clang); not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fsanitize=fuzzer-no-link"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPARONE_BUILD_TESTS=OFF -DPARONE_BUILD_BENCH=OFF -DPARONE_BUILD_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="$sanitize" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target version_block_fuzz
corpus=build-fuzz/corpus
mkdir -p "$corpus"
# Seed with the real program files when the normal build has made them.
cp -n build/fixtures/*.exe "$corpus"/ 2>/dev/null || true
build-fuzz/bin/version_block_fuzz -max_total_time="$seconds" -rss_limit_mb=1024 \
  -max_len=65536 "$corpus"
