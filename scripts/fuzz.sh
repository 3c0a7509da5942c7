#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs each in turn for
# SECONDS (default 600), each on a corpus of its own in build-fuzz/corpus/.
#   scripts/fuzz.sh [SECONDS]
# Prints each target's executions at the end; exits non-zero when any
# target found a fault (its crash file and log are in build-fuzz/).
# Needs clang (apt-get install clang); not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
targets=(version_block_fuzz ftp_reply_fuzz)
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fsanitize=fuzzer-no-link"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPARONE_BUILD_TESTS=OFF -DPARONE_BUILD_BENCH=OFF -DPARONE_BUILD_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="$sanitize" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

# What each target reads: its seeds, and its longest input.
seed_version_block_fuzz() { cp -n build/fixtures/*.exe "$1"/ 2>/dev/null || true; }
seed_ftp_reply_fuzz() { cp -n fuzz/seeds/ftp_reply_fuzz/* "$1"/; }
max_len_version_block_fuzz=65536
max_len_ftp_reply_fuzz=4096

status=0
summary=()
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  "seed_$target" "$corpus"
  max_len_var="max_len_$target"
  log=build-fuzz/$target.log
  echo "== $target for $seconds s (log: $log)"
  if build-fuzz/bin/"$target" -max_total_time="$seconds" -rss_limit_mb=1024 \
      -max_len="${!max_len_var}" -artifact_prefix=build-fuzz/"$target"- "$corpus" 2>"$log"; then
    outcome="no finding"
  else
    outcome="FINDING (see $log)"
    status=1
  fi
  # libFuzzer ends with "Done N runs in S second(s)" when it ran its time.
  runs=$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" | tail -1 || true)
  summary+=("$target: ${runs:-stopped early}, $outcome")
done
printf '%s\n' "${summary[@]}"
exit "$status"
