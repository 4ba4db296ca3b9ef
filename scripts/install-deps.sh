#!/usr/bin/env bash
# Installs the Debian 12 packages Kelvora builds and tests with. Safe to run
# again: it asks apt only for what is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config clang-format
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-videoio-dev
  qt6-base-dev
  libtiff-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  nlohmann-json3-dev
  libsndfile1-dev libsoxr-dev libopenimageio-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  espeak-ng # speaks the sentence scripts/demo.sh prints on its sample reel
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
