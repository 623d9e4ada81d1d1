#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Brassmoor needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
  build-essential cmake ninja-build pkg-config clang \
  libgtest-dev libgmock-dev googletest libbenchmark-dev \
  libsdl2-dev libepoxy-dev libgl1-mesa-dri libglx-mesa0 mesa-utils \
  libopenal-dev libopenal1 libvorbis-dev libogg-dev \
  libgtk-3-dev libjpeg-dev libpng-dev zlib1g-dev libstb-dev libx11-dev \
  libfreetype-dev fonts-dejavu-core libtinygltf-dev nlohmann-json3-dev \
  xvfb xauth x11-utils xdotool imagemagick sox libsox-fmt-all vorbis-tools \
  libarchive-tools python3 clang-format \
  xscreensaver xscreensaver-gl procps desktop-file-utils fakeroot
