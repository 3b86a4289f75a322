#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the controller's shell
# tools need, and only those that are missing: a machine that has them all
# makes no network call. Safe to run any number of times.
set -euo pipefail

# One line per need; alternatives are separated by "|" and any one installed
# satisfies the need (the first is what gets installed).
needs=(
  cmake
  g++
  make
  pkg-config
  libcurl4-openssl-dev
  libboost-dev
  libgtest-dev
  libgmock-dev
  libcpp-httplib-dev
  libcli11-dev
  nlohmann-json3-dev
  "default-jdk-headless|openjdk-17-jdk-headless|openjdk-21-jdk-headless"
  libbenchmark-dev
  "clang|clang-14"
  libclang-rt-14-dev
  # make package and its check (no fakeroot: the package build needs no root)
  debhelper
  dpkg-dev
  lintian
  procps
  net-tools
  "gawk|mawk"
  grep
  coreutils
  util-linux
  debianutils
  groff-base
)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for need in "${needs[@]}"; do
  IFS='|' read -r -a alternatives <<<"$need"
  found=no
  for package in "${alternatives[@]}"; do
    if installed "$package"; then found=yes; break; fi
  done
  [ "$found" = yes ] || missing+=("${alternatives[0]}")
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "install-deps: need root or sudo" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
