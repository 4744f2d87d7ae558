#!/usr/bin/env bash
# Sets up what the project needs on a Debian 12 machine, doing only what is
# not done yet, and says at the end what it did and what failed.
#
#   tools/install-deps.sh           everything: the build and every test
#   tools/install-deps.sh --build   only what building the programs needs
#                                   (the compiler, CMake and make)
#
# The tests need much more: GoogleTest, MinGW for the Windows executables,
# mtools for the floppy image, Chromium for the report page, clang for the
# fuzzers, Wine and Xvfb for the end-to-end runs. The shipping 32-bit
# executables run under Debian's 32-bit Wine (wine32:i386), which this kernel
# cannot start by itself: i386 programs go to qemu's user emulator through
# binfmt_misc, and only the qemu of the backports suite (10) is fast enough
# for Wine. So the whole set-up also adds the i386 architecture and the
# backports suite (from the address of the machine's own Debian source),
# and registers qemu-i386 for i386 programs.
#
# Run as root (CI does); otherwise it says what is missing and the command
# that installs it.
set -uo pipefail

mode=all
case "${1:-}" in
  "") ;;
  --build) mode=build ;;
  -h | --help)
    sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *)
    echo "install-deps: unknown option '$1' (--build, or nothing for everything)" >&2
    exit 2
    ;;
esac

build_packages=(build-essential cmake)
test_packages=(
  libgtest-dev libgmock-dev
  clang-format
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
  # the floppy image of the package, made and read back without root
  mtools
  # the test of winsim's report page renders it in headless Chromium
  chromium
  # the end-to-end runs under Wine: the x86_64 Wine, and Xvfb for its message boxes
  wine64 xvfb
  # the libFuzzer targets of fuzz/: clang with its fuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # the test that a run's journal and deciding renames are flushed watches the calls
  strace
)
# 32-bit Wine for the shipping executables, and the emulator that runs it
i386_packages=(wine32:i386)
qemu_package=qemu-user
qemu_minimum=1:8 # 7.2 treats MAP_FIXED_NOREPLACE as a hint: minutes per Wine process
qemu=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
entry_name=rq47-qemu-i386
# An i386 ELF executable or shared object, as qemu's own binfmt set-up matches it.
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

done_lines=()
failed_lines=()
did() { done_lines+=("$*"); echo "install-deps: $*" >&2; }
failed() { failed_lines+=("$*"); echo "install-deps: FAILED: $*" >&2; }
is_root() { [ "$(id -u)" -eq 0 ]; }
# Not a failure: the Wine tests then register qemu-i386 for their own commands,
# in a user and mount namespace with a binfmt_misc of its own (Linux 6.7 or later).
note() {
  echo "install-deps: $*;" >&2
  echo "install-deps:   the Wine tests give i386 programs to $qemu in a binfmt_misc of their own instead" >&2
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing_of() {
  local package
  for package in "$@"; do installed "$package" || echo "$package"; done
}

codename() {
  (. /etc/os-release && echo "${VERSION_CODENAME:-}")
}

apt_updated=no
apt_update() {
  if [ "$apt_updated" = no ]; then
    apt-get update -qq && apt_updated=yes
  fi
}

# Installs the packages (apt-get arguments may come first, before "--").
apt_install() {
  local options=()
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  local log
  log=$(mktemp)
  if apt_update && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
      --no-install-recommends "${options[@]}" "$@" >"$log" 2>&1; then
    did "installed $*"
  else
    failed "apt-get install ${options[*]} $* (its last lines follow)"
    tail -n 15 "$log" >&2
  fi
  rm -f "$log"
}

install_packages() {
  local missing
  mapfile -t missing < <(missing_of "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! is_root; then
    failed "missing packages: ${missing[*]}; install them with: sudo apt-get install -y ${missing[*]}"
    return 0
  fi
  apt_install -- "${missing[@]}"
}

# The address of the machine's own Debian archive: the source of the release's
# main suite, in a deb822 .sources file or a one-line .list entry.
debian_archive() {
  local release=$1 file found=""
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && [ -z "$found" ] || continue
    found=$(awk -v release="$release" '
      function flush() { if (has && uri != "" && !done) { print uri, signed; done = 1 } has = 0; uri = ""; signed = "" }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == release) has = 1 }
      tolower($1) == "uris:" && uri == "" { uri = $2 }
      tolower($1) == "signed-by:" { signed = $2 }
      END { flush() }' "$file")
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] && [ -z "$found" ] || continue
    found=$(sed -e 's/\[[^]]*\]//' "$file" |
      awk -v release="$release" '$1 == "deb" && $3 == release { print $2; exit }')
  done
  [ -n "$found" ] && echo "$found"
}

add_backports() {
  local release=$1 suite="$1-backports"
  if grep -qsE "(^|[[:space:]])$suite([[:space:]]|$)" /etc/apt/sources.list \
      /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; then
    return 0
  fi
  local found uri signed
  if ! found=$(debian_archive "$release"); then
    failed "no Debian source for '$release' in /etc/apt/sources.list or /etc/apt/sources.list.d, so the address of $suite is unknown; add $suite to the apt sources by hand"
    return 1
  fi
  read -r uri signed <<<"$found"
  {
    echo "# Added by the RQ47 project's tools/install-deps.sh: qemu-user of $suite"
    echo "Types: deb"
    echo "URIs: $uri"
    echo "Suites: $suite"
    echo "Components: main"
    [ -n "$signed" ] && echo "Signed-By: $signed"
  } >"/etc/apt/sources.list.d/$suite.sources"
  apt_updated=no
  did "added the $suite suite of $uri to the apt sources (/etc/apt/sources.list.d/$suite.sources)"
}

qemu_recent() {
  local version
  version=$(dpkg-query -W -f='${Version}' "$qemu_package" 2>/dev/null) || return 1
  installed "$qemu_package" && dpkg --compare-versions "$version" ge "$qemu_minimum" && [ -x "$qemu" ]
}

set_up_32bit_wine() {
  local release
  release=$(codename)
  local need_arch=no need_wine need_qemu=no
  dpkg --print-foreign-architectures | grep -qx i386 || need_arch=yes
  mapfile -t need_wine < <(missing_of "${i386_packages[@]}")
  qemu_recent || need_qemu=yes
  if [ "$need_arch" = no ] && [ ${#need_wine[@]} -eq 0 ] && [ "$need_qemu" = no ]; then
    return 0
  fi
  if ! is_root; then
    [ "$need_arch" = yes ] && failed "the i386 architecture is not enabled; as root: dpkg --add-architecture i386 && apt-get update"
    [ ${#need_wine[@]} -gt 0 ] && failed "missing packages: ${need_wine[*]}; as root: apt-get install -y --no-install-recommends ${need_wine[*]}"
    [ "$need_qemu" = yes ] && failed "qemu-user 8 or later is not installed; as root: apt-get install -y --no-install-recommends -t $release-backports $qemu_package"
    return 0
  fi
  if [ "$need_arch" = yes ]; then
    if dpkg --add-architecture i386; then
      apt_updated=no
      did "enabled the i386 architecture"
    else
      failed "dpkg --add-architecture i386"
    fi
  fi
  [ ${#need_wine[@]} -gt 0 ] && apt_install -- "${need_wine[@]}"
  if [ "$need_qemu" = yes ]; then
    add_backports "$release" && apt_install -t "$release-backports" -- "$qemu_package"
  fi
}

# The interpreter and flags of a binfmt_misc entry that takes i386 ELF, one per line: "NAME INTERPRETER FLAGS".
i386_entries() {
  local entry
  for entry in "$binfmt"/*; do
    case "${entry##*/}" in register | status) continue ;; esac
    [ -f "$entry" ] || continue
    awk -v name="${entry##*/}" '
      $1 == "enabled" { on = 1 }
      $1 == "interpreter" { interpreter = $2 }
      $1 == "flags:" { flags = $2 }
      $1 == "magic" && substr($2, 1, 12) == "7f454c460101" && substr($2, 37, 4) == "0300" { i386 = 1 }
      END { if (on && i386) print name, interpreter, flags }' "$entry"
  done
}

set_up_binfmt() {
  if ! qemu_recent; then
    return 0 # said above
  fi
  if ! mountpoint -q "$binfmt"; then
    if ! is_root; then
      note "binfmt_misc is not mounted (as root: mount -t binfmt_misc binfmt_misc $binfmt)"
      return 0
    fi
    if mount -t binfmt_misc binfmt_misc "$binfmt"; then
      did "mounted binfmt_misc at $binfmt"
    else
      failed "mount -t binfmt_misc binfmt_misc $binfmt"
      return 0
    fi
  fi
  local name interpreter flags ours_there=no
  while read -r name interpreter flags; do
    if [ "$name" = "$entry_name" ]; then
      if [ "$interpreter" = "$qemu" ] && [[ "$flags" == *F* ]]; then
        ours_there=yes
      elif is_root && echo -1 >"$binfmt/$name"; then
        did "removed the earlier entry $name of binfmt_misc (it named $interpreter)"
      fi
    elif [ "$interpreter" = "$qemu" ] && [[ "$flags" == *F* ]]; then
      ours_there=yes # the same emulator, registered by someone else
    else
      note "the binfmt_misc entry '$name' gives i386 programs to $interpreter; it is left as it is"
      return 0
    fi
  done < <(i386_entries)
  [ "$ours_there" = yes ] && return 0
  if ! is_root; then
    note "no binfmt_misc entry gives i386 programs to $qemu (as root: echo ':$entry_name:M::$i386_magic:$i386_mask:$qemu:F' > $binfmt/register)"
    return 0
  fi
  if echo ":$entry_name:M::$i386_magic:$i386_mask:$qemu:F" >"$binfmt/register"; then
    did "registered $qemu for i386 programs in binfmt_misc (entry $entry_name, until the next boot; each run of this script registers it again)"
  else
    failed "registering $qemu in $binfmt/register"
  fi
}

install_packages "${build_packages[@]}"
if [ "$mode" = all ]; then
  install_packages "${test_packages[@]}"
  set_up_32bit_wine
  set_up_binfmt
fi

if [ ${#failed_lines[@]} -gt 0 ]; then
  echo "install-deps: ${#failed_lines[@]} thing(s) failed:" >&2
  printf '  - %s\n' "${failed_lines[@]}" >&2
  exit 1
fi
if [ ${#done_lines[@]} -eq 0 ]; then
  echo "install-deps: everything was in place already" >&2
else
  echo "install-deps: done (${#done_lines[@]} change(s))" >&2
fi
