#!/usr/bin/env bash
# Runs the libFuzzer targets of tests/fuzz, one after another, each for a
# while (default FUZZ_SECONDS or 60 s):
#
#   scripts/fuzz.sh [seconds] [target ...]     targets: decode imageurl styledhtml addressrule imageheader server
#
# Builds them with clang under ASan + UBSan into build-fuzz/ (CMake option
# PAPELO_SANITIZE=fuzzer), apart from the test build and ctest. Needs clang
# and libclang-rt-14-dev (scripts/deps.sh installs both). The seed corpus
# tests/fuzz/corpus/<target> is only read; new inputs go to
# build-fuzz/corpus/<target>, crash reproducers to build-fuzz/artifacts/.
# Exits non-zero when any target found something.
set -euo pipefail
# fontconfig keeps its cache for the whole process; see the file.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
cd "$(dirname "$0")/.."
SECONDS_EACH="${1:-${FUZZ_SECONDS:-60}}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(decode imageurl styledhtml addressrule imageheader server)
OUT=build-fuzz

# Same machine-wide lock as scripts/locked-build.sh: one build at a time.
flock /tmp/papelo-build.lock bash -c '
  [ -f "$0/build.ninja" ] || cmake -S . -B "$0" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAPELO_SANITIZE=fuzzer >/dev/null
  cmake --build "$0" $(printf -- "--target fuzz_%s " "${@}")' "$OUT" "${TARGETS[@]}"

failed=()
for t in "${TARGETS[@]}"; do
  timeout=10
  case "$t" in
    imageurl|addressrule) max_len=512 ;;
    server) max_len=4096 ;;
    # A few hundred bytes can legally declare an image near the 40-megapixel
    # limit, and decoding one under ASan takes seconds.
    imageheader) max_len=16384 timeout=60 ;;
    *) max_len=8192 ;;
  esac
  mkdir -p "$OUT/corpus/$t" "$OUT/artifacts"
  echo "== fuzz_$t for ${SECONDS_EACH} s"
  if ! "$OUT/tests/fuzz/fuzz_$t" "$OUT/corpus/$t" "tests/fuzz/corpus/$t" \
      -max_total_time="$SECONDS_EACH" -max_len="$max_len" -timeout="$timeout" -rss_limit_mb=2048 \
      -artifact_prefix="$OUT/artifacts/$t-" -print_final_stats=1 2>"$OUT/$t.log"; then
    failed+=("$t")
    tail -n 60 "$OUT/$t.log"
  fi
  grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|Done)' "$OUT/$t.log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]} (reproducers in $OUT/artifacts/)"
  exit 1
fi
echo "fuzz: ${TARGETS[*]}: nothing found"
