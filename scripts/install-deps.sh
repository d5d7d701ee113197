#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Does nothing when they are all present already.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config clang-format
  libssl-dev libcurl4-openssl-dev libjsoncpp-dev libpugixml-dev libsqlite3-dev
  libcpp-httplib-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  openssl curl python3
  qt6-base-dev libgl-dev libvulkan-dev xvfb xauth xdotool x11-utils fonts-wqy-microhei
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
