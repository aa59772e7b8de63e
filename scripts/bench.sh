#!/usr/bin/env bash
# Builds the release configuration and runs every benchmark, printing its figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DZENTRABO_TESTS=OFF -DZENTRABO_BENCH=ON >/dev/null
cmake --build "$root/build/bench"
shopt -s nullglob
for bench in "$root"/build/bench/bench/bench_*; do
  echo "== $(basename "$bench")"
  "$bench"
done
