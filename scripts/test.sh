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

# Each stage is announced with the seconds spent so far, so a slow CI run
# shows where its time went.
stage() { echo "== $1 (at ${SECONDS} s)"; }

stage "installing what is missing"
"$root/scripts/install-deps.sh" test
stage "checking the format"
"$root/scripts/format.sh" --check

# The sanitized tree is compiled at -O1 with line tables only (-g1): the
# sanitizers keep every check and their reports keep function names, files and
# lines, at half the compile time of -O2 with full debug information, which
# is what lets a two-core CI machine build it. Its test programs are unity
# builds (cmake/ZentraboTargets.cmake) for the same reason.
stage "building the sanitized tree"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
      -DZENTRABO_SANITIZE=ON -DZENTRABO_TESTS=ON -DZENTRABO_BENCH=OFF >/dev/null
cmake --build "$build"

# Each fuzzer runs for 15 s here, two at a time on two cores;
# scripts/fuzz.sh alone runs them longer.
stage "fuzzing"
"$root/scripts/fuzz.sh" 15

# The release configuration must build too: GCC 12 at -O3 reports as errors
# (array bounds, uninitialised reads) what the test tree's -O1 never sees.
# Every source of src/ is compiled there, with warnings as errors, and the
# benchmarks with them (not run: speed is for scripts/bench.sh, which uses
# this same tree), so that they cannot fall behind the code they measure.
# It builds beside the tests at the lowest priority: the suite spends much of
# its time waiting on X servers and sockets, and the compiler takes only the
# cores the tests leave idle. A failed release build still fails the run.
stage "testing, with the release tree building beside it at low priority"
release_log="$root/build/release-tree.log"
mkdir -p "$root/build"
# In a session of its own, so that a run cut short (Ctrl+C, a CI timeout)
# takes the whole release build down with it instead of leaving compilers behind.
setsid nice -n 19 "$root/scripts/bench.sh" --build-only >"$release_log" 2>&1 &
release_pid=$!
trap 'kill -- "-$release_pid" 2>/dev/null || true' EXIT
tests_status=0
unshare --net --mount --pid --fork --mount-proc --kill-child \
  "$root/scripts/run-tests-in-namespace.sh" "$build" || tests_status=$?
stage "tests done (status $tests_status); waiting for the release tree"
release_status=0
wait "$release_pid" || release_status=$?
trap - EXIT
if ((release_status != 0)); then
  echo "The release tree failed to build; the end of its log ($release_log):" >&2
  tail -n 80 "$release_log" >&2
fi
stage "done"
if ((tests_status != 0)); then exit "$tests_status"; fi
exit "$release_status"
