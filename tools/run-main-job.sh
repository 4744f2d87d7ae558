#!/usr/bin/env bash
# The main job: builds the programs against winsim and, on fresh copies of the
# shipped machines, runs a fresh installation, an upgrade of a previous version
# across its reboot, and an uninstall, showing every message box and what each
# run changed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc 2>/dev/null || echo 2)" --target rq47set zuninst >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {  # run MACHINE ANSWERS PROGRAM
  local machine=$1 answers=$2 program=$3
  echo
  echo "---- $program on $(basename "$machine") (answers: ${answers:-none}) ----"
  WINSIM_MACHINE="$machine" WINSIM_ANSWERS="$answers" "build/host/$4/$program" </dev/null || true
}

cp -r machines/win98se "$work/win98se"
echo "==== A fresh installation on Windows 98 SE, then the uninstaller ===="
run "$work/win98se" "" rq47set setup
run "$work/win98se" "yes,ok,ok" zuninst uninstall

if [ -d machines/win95-previous ]; then
  cp -r machines/win95-previous "$work/win95-previous"
  echo
  echo "==== An upgrade of version 3.01 on Windows 95: the question, the reboot, the installation ===="
  run "$work/win95-previous" "yes,ok,ok" rq47set setup
  run "$work/win95-previous" "" rq47set setup
fi
