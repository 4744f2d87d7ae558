#!/usr/bin/env bash
# The main job: builds the programs into the winsim command and, on fresh
# copies of the shipped machines, runs a fresh installation, the uninstaller,
# and an upgrade of a previous version across its reboot. Every message box is
# drawn as the program shows it, and after each run `winsim diff` shows what
# the run changed in the registry, the files and system.ini. Each run's report
# page (the boxes as Windows 98 draws them, the changes as tables) is kept in
# build/host/main-job/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc 2>/dev/null || echo 2)" --target winsim_tool >/dev/null

winsim=build/host/tools/winsim/winsim
reports=build/host/main-job
rm -rf "$reports"
mkdir -p "$reports"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

step=0
run() {  # run MACHINE ANSWERS PROGRAM WHAT
  local machine=$1 answers=$2 program=$3 what=$4
  step=$((step + 1))
  echo
  echo "---- $step. $what: $program (answers: ${answers:-none, so each box takes its default button}) ----"
  rm -rf "$work/before"
  cp -r "$machine" "$work/before"
  "$winsim" run "$machine" --answers "$answers" --report "$reports/$step-$program.html" \
    "$program" </dev/null 2>&1 || true
  echo "What it changed:"
  "$winsim" diff "$work/before" "$machine" | sed 's/^/  /' || true
}

echo "==== Windows 98 SE with the modem plugged in: a fresh installation, then the uninstaller ===="
"$winsim" new "$work/win98se" --from win98se
run "$work/win98se" "" rq47set "A fresh installation"
run "$work/win98se" "yes,ok" zuninst "The uninstaller"

echo
echo "==== Windows 95 with version 3.01 installed: the upgrade, the reboot, the installation ===="
"$winsim" new "$work/win95-previous" --from win95-previous
run "$work/win95-previous" "yes,ok,ok" rq47set "The upgrade"
run "$work/win95-previous" "" rq47set "After the reboot"

echo
echo "The report page of each run: $reports/"
