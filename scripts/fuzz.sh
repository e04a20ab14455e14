#!/usr/bin/env bash
# Fuzzes the strict JSON decoder with libFuzzer for a while (default 60 s):
#
#   scripts/fuzz.sh [seconds]
#
# Builds tests/fuzz/fuzz_decode.cpp with clang (address + undefined-behaviour
# sanitizers) into build-fuzz/, outside the CMake build and ctest. Needs
# clang and libclang-rt-14-dev (apt-get install clang libclang-rt-14-dev).
# The seed corpus in tests/fuzz/corpus is only read; new inputs and crash
# reproducers go to build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN="${1:-60}"
OUT=build-fuzz
mkdir -p "$OUT/corpus" "$OUT/artifacts"

SOURCES=(tests/fuzz/fuzz_decode.cpp src/core/JsonReader.cpp src/core/Records.cpp
         src/core/Envelopes.cpp src/core/RequestError.cpp)
# Same machine-wide lock as scripts/locked-build.sh: one compile at a time.
flock /tmp/papelo-build.lock \
  clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc/core $(pkg-config --cflags Qt6Core) "${SOURCES[@]}" $(pkg-config --libs Qt6Core) \
    -o "$OUT/fuzz_decode"

exec "$OUT/fuzz_decode" "$OUT/corpus" tests/fuzz/corpus \
  -max_total_time="$SECONDS_TO_RUN" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$OUT/artifacts/" -print_final_stats=1
