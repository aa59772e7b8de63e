#!/usr/bin/env bash
# Builds the release configuration and runs every benchmark, printing its figures.
# Arguments go to the TLS load bench (bench_tls_load --help lists them), e.g.
#   scripts/bench.sh --rounds 7 --seconds 5
# With --build-only it builds and runs nothing (scripts/test.sh does that, so
# that the -O3 build of every source and bench is checked).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" test
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DZENTRABO_TESTS=OFF -DZENTRABO_BENCH=ON >/dev/null
cmake --build "$root/build/bench"
if [[ ${1:-} == --build-only ]]; then exit 0; fi
shopt -s nullglob
for bench in "$root"/build/bench/bench/bench_*; do
  name=$(basename "$bench")
  echo "== $name"
  if [[ $name == bench_tls_load ]]; then
    "$bench" "$@"
  else
    "$bench"
  fi
done
