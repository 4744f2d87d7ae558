#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each for a while,
# starting from the committed seed corpus.
#
#   tools/run-fuzzers.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 20); TARGETs default to all four. The corpus each
# run grows and any crashing input are kept below build/fuzz/ (the committed
# seeds in fuzz/corpus/ are only read). Exit status 0 when no target found a
# fault; otherwise 1, with the crashing inputs named.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(regedit4_fuzzer machine_ini_fuzzer path_fuzzer driver_line_fuzzer)
fi
case "$seconds" in
  '' | *[!0-9]*) echo "run-fuzzers: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

if ! command -v clang++ >/dev/null; then
  echo "run-fuzzers: clang++ is missing; install the Debian packages clang and libclang-rt-14-dev" >&2
  exit 2
fi

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRQ47_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

failed=()
for target in "${targets[@]}"; do
  name=${target%_fuzzer}
  corpus="$build/corpus/$name"
  artifacts="$build/artifacts/$name/"
  mkdir -p "$corpus" "$artifacts"
  echo "== $target: $seconds s" >&2
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
      -print_final_stats=1 -dict="fuzz/dictionaries/$name.dict" -artifact_prefix="$artifacts" \
      "$corpus" "fuzz/corpus/$name"; then
    failed+=("$target")
    echo "run-fuzzers: $target found a fault; the input is in $artifacts" >&2
    ls -l "$artifacts" >&2
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "run-fuzzers: faults found by: ${failed[*]}" >&2
  exit 1
fi
echo "run-fuzzers: no faults found" >&2
