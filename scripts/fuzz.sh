#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own tree (build/fuzz) and
# runs each for a while, as many at once as there are cores:
#   scripts/fuzz.sh              30 s a fuzzer
#   scripts/fuzz.sh <seconds>    that long a fuzzer (scripts/test.sh gives 15)
# Exits non-zero on any crash, leak, timeout or memory blow-up; the input that
# caused it is kept in build/fuzz/artifacts/ and the fuzzer's output is shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
seconds="${1:-30}"
if [[ ! $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [seconds per fuzzer]" >&2
  exit 2
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DZENTRABO_FUZZ=ON -DZENTRABO_SANITIZE=ON \
      -DZENTRABO_TESTS=OFF >/dev/null
cmake --build "$build" --target zentrabo_fuzzers

mkdir -p "$build/artifacts" "$build/logs"

# One fuzzer, its output kept in a log of its own (shown when it fails), so
# fuzzers running side by side do not mix their lines.
fuzz_one() {
  local fuzzer="$1" name corpus log
  name=$(basename "$fuzzer")
  corpus="$build/corpus/$name"
  log="$build/logs/$name.log"
  mkdir -p "$corpus"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
                 -artifact_prefix="$build/artifacts/$name-" -print_final_stats=1)
  if [[ -f "$root/fuzz/$name.dict" ]]; then options+=(-dict="$root/fuzz/$name.dict"); fi
  local seeds=()
  if [[ -d "$root/fuzz/seeds/$name" ]]; then seeds+=("$root/fuzz/seeds/$name"); fi
  if "$fuzzer" "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    echo "Fuzzed $name for $seconds s: $(grep -m1 '^stat::number_of_executed_units' "$log" || echo 'no stats')"
  else
    echo "Fuzzer $name failed; its output ($log):" >&2
    tail -n 60 "$log" >&2
    return 1
  fi
}

jobs=$(nproc)
running=0
failed=0
for fuzzer in "$build"/fuzz/fuzz_*; do
  [[ -x "$fuzzer" ]] || continue
  if ((running >= jobs)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_one "$fuzzer" &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
