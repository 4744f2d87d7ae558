#!/usr/bin/env bash
# Builds what the Wine checks need and runs them: the imports check of the
# shipping (win32) executables, and every scenario under Wine with the x86_64
# (win64) programs beside winsim with the host programs.
#
#   tools/wine/run-wine-suite.sh [ctest arguments...]
#
# RQ47_WINE_KEEP=1 keeps each scenario's machines and Wine prefix in
# build/host/tests/wine/work/ (the last lines of a scenario's output name the
# folder), to look into what a run left on either side.
set -euo pipefail
cd "$(dirname "$0")/../.."

jobs=$(nproc 2>/dev/null || echo 2)
for preset in win32 win64; do
  echo "== $preset: the Windows executables" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done

echo "== host: the programs on winsim and the Wine test programs" >&2
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs" \
  --target rq47set zuninst wine_harness_test windows_imports_test wine_end_to_end_test >/dev/null

start=$(date +%s)
ctest --test-dir build/host --output-on-failure -j "$jobs" \
  -R '^(ImportTables|AllowList|PeHeader|VersionResource|ShippingExecutables|WineScenario)\.' "$@"
echo "== the Wine checks took $(( $(date +%s) - start )) s" >&2
