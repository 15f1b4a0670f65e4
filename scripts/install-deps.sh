#!/usr/bin/env bash
# Installs every Debian package Loomwork needs to build, run and test. Safe to run again:
# only missing packages are installed, and the package lists are refreshed only then.
set -euo pipefail

packages=(
  # build and tests
  build-essential cmake make pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # window, OpenGL loader generator, images and fonts
  libsdl2-dev libgflags-dev liblua5.3-dev python3-glad libstb-dev fonts-comfortaa
  # compression of the undo history's block images; Ogg Vorbis decoding
  liblz4-dev libvorbis-dev
  # welding and simplifying the exported surface; assimp reads the exported files back in tests
  libmeshoptimizer-dev assimp-utils
  # headless OpenGL 4.5 for the tests (Mesa llvmpipe under Xvfb) and shader validation
  xvfb xauth libgl1-mesa-dri glslang-tools
  # real X input events into the program's window for the program-level tests
  xdotool
  # an X server with several display modes (Xvfb has one) for the fullscreen switch and restore
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  # real encoders for the sound-file tests
  sox vorbis-tools
  # libFuzzer (make fuzz)
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
