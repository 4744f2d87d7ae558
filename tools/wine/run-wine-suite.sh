#!/usr/bin/env bash
# Builds what the Wine checks need and runs them: the imports check of the
# shipping (win32) executables, the package's ZIP and floppy image read back,
# and every scenario with the programs of the package under the 32-bit Wine,
# as Windows 98 and as Windows 95, beside winsim with the host programs.
#
#   tools/wine/run-wine-suite.sh [ctest arguments...]
#
# RQ47_WINE_KEEP=1 keeps each scenario's machines and Wine prefix in
# build/host/tests/wine/work/ (the last lines of a scenario's output name the
# folder), to look into what a run left on either side.
set -euo pipefail
cd "$(dirname "$0")/../.."

jobs=$(nproc 2>/dev/null || echo 2)
echo "== win32: the Windows executables, the answering program and the package" >&2
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" >/dev/null
cmake --build --preset win32 --target package >/dev/null

echo "== host: the programs on winsim and the Wine test programs" >&2
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs" \
  --target rq47set zuninst wine_harness_test windows_imports_test shipped_package_test \
  wine_end_to_end_test >/dev/null

start=$(date +%s)
ctest --test-dir build/host --output-on-failure -j "$jobs" \
  -R '^(ImportTables|AllowList|PeHeader|VersionResource|ShippingExecutables|ShippedPackage|ShippedZip/WineScenario|WineFloppyScenario)\.' "$@"
echo "== the Wine checks took $(( $(date +%s) - start )) s" >&2
