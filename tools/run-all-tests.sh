#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows executables.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

for preset in host host-asan; do
  echo "== $preset: configure, build, test" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset"
done

echo "== win32: the shipping executables" >&2
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
ls -l build/win32/setup/rq47set.exe build/win32/uninstall/zuninst.exe >&2
