#!/usr/bin/env bash
# Installs what is missing, builds the sanitized test configuration and runs
# every test inside a private network namespace where loopback is the only
# interface, so no test can reach another machine. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/test"

# The tests run in a private network namespace, which only root can make:
# said before anything is installed or built.
if [[ $(id -u) -ne 0 ]]; then
  echo "scripts/test.sh must run as root: the tests run in a private network namespace (try: sudo scripts/test.sh)" >&2
  exit 1
fi

"$root/scripts/install-deps.sh" test
"$root/scripts/format.sh" --check

# The benchmarks are built too (not run: speed is for scripts/bench.sh), so
# that they cannot fall behind the code they measure.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DZENTRABO_SANITIZE=ON -DZENTRABO_TESTS=ON -DZENTRABO_BENCH=ON >/dev/null
cmake --build "$build"

# The release configuration with its tests must build too: GCC 12 at -O3
# reports as errors (array bounds, uninitialised reads) what the test
# configuration's -O2 never sees. Built, not run: the sanitized build's tests
# are the ones that run, below.
release="$root/build/release-tests"
cmake -S "$root" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENTRABO_TESTS=ON >/dev/null
cmake --build "$release"

"$root/scripts/fuzz.sh"
exec unshare --net --mount --pid --fork --mount-proc --kill-child \
  "$root/scripts/run-tests-in-namespace.sh" "$build"
