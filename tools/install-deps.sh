#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, when they are
# missing. Run as root (CI does); otherwise it prints the command to run.
set -euo pipefail

packages=(
  build-essential cmake
  libgtest-dev libgmock-dev
  clang-format
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
  # the test of winsim's report page renders it in headless Chromium
  chromium
  # the end-to-end runs of the x86_64 programs under Wine, their message boxes on a virtual display
  wine64 xvfb
  # the libFuzzer targets of fuzz/: clang with its fuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing: ${missing[*]}" >&2
  echo "install-deps: install them with: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
