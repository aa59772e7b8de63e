#!/usr/bin/env bash
# Formats every C++ source of the project with the checked-in .clang-format.
#   scripts/format.sh           rewrites the files in place
#   scripts/format.sh --check   changes nothing; lists each unformatted file and exits 1 if there is one
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- \
  'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'bench/*.cpp' 'bench/*.hpp' 'fuzz/*.cpp' 'fuzz/*.hpp')

if [[ ${1:-} != --check ]]; then
  clang-format -i "${sources[@]}"
  exit 0
fi

unformatted=()
for source in "${sources[@]}"; do
  if ! clang-format --dry-run --Werror "$source" >/dev/null 2>&1; then
    unformatted+=("$source")
  fi
done
if ((${#unformatted[@]} > 0)); then
  echo "Not formatted (run scripts/format.sh):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
