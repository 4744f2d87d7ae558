#!/usr/bin/env bash
# Builds the benchmarks (Release, in build/bench) and runs them all, printing
# every figure: each one the median of several rounds, measured beside its
# reference (cat, cp, /bin/true, or the same work on a tenth of the input) in
# the same rounds, with its target and whether it is met.
#
#   tools/run-benchmarks.sh [--rounds N] [--scratch DIR] [--quick]
#
# --rounds N     rounds to take the medians of (default 5; whole program runs
#                and the registry walks take four times as many)
# --scratch DIR  where the temporary machines and files go (default $TMPDIR or
#                /tmp); about 1.5 GB is needed. Use a disk, not a memory file system.
# --quick        tiny inputs and one round: checks that everything runs
#
# Exit status: 0 when every target is met, 1 when one is missed, 2 when a
# benchmark could not run. The build folder can be changed with RQ47_BENCH_BUILD.
set -uo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh || exit 2

build=${RQ47_BENCH_BUILD:-build/bench}
benchmarks=(bench_regedit4 bench_system_ini bench_growth bench_programs)

# Beside Wine, where it is installed: the shipping win32 executables of the
# package (in build/win32, where the Wine harness looks for them) run under
# the 32-bit Wine.
if [ -x /usr/lib/wine/wine ]; then
  echo "== building the win32 package for the runs under Wine (build/win32)" >&2
  if cmake --preset win32 >/dev/null &&
     cmake --build --preset win32 --target rq47set zuninst answerer >/dev/null &&
     cmake --build --preset win32 --target package >/dev/null; then
    benchmarks+=(bench_wine)
  else
    echo "run-benchmarks: the win32 build failed; the comparison with Wine is left out" >&2
  fi
fi

echo "== building the benchmarks in $build (Release)" >&2
if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DRQ47_BENCH=ON >/dev/null; then
  echo "run-benchmarks: cannot configure $build; see the messages above" >&2
  exit 2
fi
if ! cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${benchmarks[@]}" >/dev/null; then
  echo "run-benchmarks: the build failed; run cmake --build $build to see why" >&2
  exit 2
fi

echo "== $(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg)" \
     "(targets are judged on processor time; the wall clock is shown beside it)"

status=0
missed=()
failed=()
for benchmark in "${benchmarks[@]}"; do
  "$build/bench/$benchmark" "$@"
  case $? in
    0) ;;
    1) missed+=("$benchmark"); [ $status -eq 0 ] && status=1 ;;
    *) failed+=("$benchmark"); status=2 ;;
  esac
done

echo
if [ ${#failed[@]} -ne 0 ]; then
  echo "== could not run: ${failed[*]}"
fi
if [ ${#missed[@]} -ne 0 ]; then
  echo "== targets missed in: ${missed[*]} (see NOT MET above)"
fi
if [ $status -eq 0 ]; then
  echo "== every target met"
fi
exit $status
