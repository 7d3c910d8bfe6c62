#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the program need;
# with the argument "fuzz", also clang and its fuzzing runtime, which only
# `make fuzz` uses. Does nothing when all are present; otherwise runs
# apt-get update once, then apt-get install, as root or through sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config make
  libsdl2-dev libepoxy-dev libopenal-dev libgtk-3-dev
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-dejavu-core
  libpng-dev zlib1g-dev libjpeg-dev
  libgl1-mesa-dri libegl-mesa0 libegl1 libgles2
  libgtest-dev libgmock-dev libbenchmark-dev libglm-dev
  xvfb xdotool
)
# libclang-rt-dev follows the distribution's default clang, whatever its version.
[ "${1:-}" = fuzz ] && packages+=(clang libclang-rt-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
