#!/usr/bin/env bash
# Builds under a machine-wide lock so that only one build runs at a time
# (two cores). Usage: scripts/locked-build.sh [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
args=()
for t in "$@"; do args+=(--target "$t"); done
exec flock /tmp/papelo-build.lock bash -c '
  [ -f "$0/build.ninja" ] || cmake -S . -B "$0" -G Ninja >/dev/null
  cmake --build "$0" "${@}"' "$BUILD_DIR" "${args[@]}"
