#!/usr/bin/env bash
# Installs what is missing, builds the release binary and runs the server in the foreground.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" run
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DZENTRABO_TESTS=OFF >/dev/null
cmake --build "$root/build/release" --target zentrabo-server
exec "$root/build/release/src/zentrabo-server" "$@"
