#!/usr/bin/env bash
# Installs every Debian package Loomwork needs to build, run and test. Safe to run again:
# only missing packages are installed, and the package lists are refreshed only then.
# --bench adds what `make bench` alone uses.
set -euo pipefail

packages=(
  # build and tests
  build-essential cmake make pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # window, OpenGL loader generator, images and fonts
  libsdl2-dev libgflags-dev liblua5.3-dev python3-glad libstb-dev fonts-comfortaa
  # compression of the undo history's block images; Ogg Vorbis decoding
  liblz4-dev libvorbis-dev libogg-dev
  # welding and simplifying the exported surface; assimp reads the exported files back and the
  # Khronos glTF validator (npm, run with Node) checks them in tests
  libmeshoptimizer-dev assimp-utils nodejs
  # headless OpenGL 4.5 for the tests (Mesa llvmpipe under Xvfb) and shader validation
  xvfb xauth libgl1-mesa-dri glslang-tools
  # real X input events into the program's window for the program-level tests
  xdotool
  # an X server with several display modes (Xvfb has one) for the fullscreen switch and restore
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  # real encoders for the sound-file tests
  sox vorbis-tools
  # the Khronos OpenXR loader and headers, the hello_xr sample and the core validation layer that
  # check the simulated headset's OpenXR runtime
  libopenxr-dev libopenxr-loader1 libopenxr-utils openxr-layer-corevalidation
  # installing and packaging: the desktop-entry, file-type and manual-page checks, the Debian
  # package's dependencies (dpkg-shlibdeps) and lintian
  desktop-file-utils libxml2-utils shared-mime-info man-db dpkg-dev lintian
  # libFuzzer (make fuzz)
  clang-14 libclang-rt-14-dev
)
if [ "${1:-}" = "--bench" ]; then
  # VTK's flying edges, the peer the re-meshing of every block is timed against
  packages+=(python3-vtk9)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# The Khronos glTF validator (npm) for the export tests, into the work tree's own tool folder.
install_gltf_validator() {
  local folder
  folder="$(cd "$(dirname "$0")/.." && pwd)/.tools/node"
  [ -f "$folder/node_modules/gltf-validator/index.js" ] && return 0
  command -v npm >/dev/null || return 0  # npm comes with nodejs, installed below when missing
  echo "Installing the glTF validator into $folder"
  mkdir -p "$folder"
  # Its own cache, so a run without a home folder works too; one retry for a passing network fault.
  local install=(npm install --prefix "$folder" --cache "$folder/.npm-cache" --no-audit --no-fund
                 --silent gltf-validator@2.0.0-dev.3.10)
  "${install[@]}" || { sleep 5; "${install[@]}"; }
}

if [ ${#missing[@]} -eq 0 ]; then
  install_gltf_validator
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
install_gltf_validator
