#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own tree (build/fuzz) and
# runs each for 30 s. Exits non-zero on any crash, leak, timeout or memory
# blow-up; the input that caused it is kept in build/fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DZENTRABO_FUZZ=ON -DZENTRABO_SANITIZE=ON \
      -DZENTRABO_TESTS=OFF >/dev/null
cmake --build "$build" --target zentrabo_fuzzers

mkdir -p "$build/artifacts"
for fuzzer in "$build"/fuzz/fuzz_*; do
  [[ -x "$fuzzer" ]] || continue
  name=$(basename "$fuzzer")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  options=(-max_total_time=30 -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$build/artifacts/$name-" -print_final_stats=1)
  if [[ -f "$root/fuzz/$name.dict" ]]; then options+=(-dict="$root/fuzz/$name.dict"); fi
  seeds=()
  if [[ -d "$root/fuzz/seeds/$name" ]]; then seeds+=("$root/fuzz/seeds/$name"); fi
  echo "Fuzzing $name for 30 s"
  "$fuzzer" "${options[@]}" "$corpus" "${seeds[@]}"
done
