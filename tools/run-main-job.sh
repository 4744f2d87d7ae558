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

# Only the compiler, CMake and make: the tests' tools are not needed here.
bash tools/install-deps.sh --build
echo "Configuring the host build..."
cmake --preset host >/dev/null
# The build takes a minute or two the first time; its progress is shown in
# steps of a tenth, its whole output kept in case it fails.
echo "Building rq47set, zuninst and the winsim command..."
build_log=build/host/main-job-build.log
if ! cmake --build --preset host -j "$(nproc 2>/dev/null || echo 2)" \
    --target winsim_tool rq47set zuninst 2>&1 | tee "$build_log" |
    awk '/^\[ *[0-9]+%\]/ { done = substr($0, 2, index($0, "%") - 2) + 0
                           if (done >= shown) { printf "  %d%% built\n", done; fflush()
                                                shown = done - done % 10 + 10 } }'; then
  echo "The build failed; the end of its output ($build_log):" >&2
  tail -n 40 "$build_log" >&2
  exit 1
fi
echo "  built: build/host/tools/winsim/winsim, build/host/setup/rq47set, build/host/uninstall/zuninst"

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
