#!/usr/bin/env bash
# Installs the Debian packages that building and testing Vantrel need, and
# only those that are missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libsigc++-3.0-dev libfreetype-dev fonts-dejavu-core
  libpng-dev libtinyxml2-dev nlohmann-json3-dev libgtest-dev libgmock-dev googletest libbenchmark-dev gettext
  clang libclang-rt-14-dev binutils locales libdvbv5-dev libudev-dev dvb-tools
  libsdl2-dev xvfb xauth xdotool x11-apps x11-utils netpbm python3
  help2man dpkg-dev fakeroot file lintian man-db)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi
