#!/usr/bin/env bash
# Takes screenshots of the main window, its menus and every dialog under Xvfb into
# docs/, for the README.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
if ! command -v xvfb-run >/dev/null; then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    xvfb xauth fonts-dejavu-core
fi
dir=$(scripts/build.sh release -DKELVORA_BUILD_TESTS=OFF -DKELVORA_BUILD_BENCH=OFF | tail -n 1)
# A reel scanned at 1200 dpi, which the classic reader takes for 900 (a warning in the
# status box and the preview), with its seventh scan missing, so that the last job's
# plot has a join to flag.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$dir/tools/make_reel" "$work/reel" --scans 12 --dpi 1200 >/dev/null
rm "$work/reel/scan_0007.tif"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$dir/src/app/kelvora" --screenshots docs \
  "$work/reel" "$work"
# The command line's pictures of the same reel.
"$dir/src/cli/kelvora-cli" inspect "$work/reel" -o docs/inspect.png
"$dir/src/cli/kelvora-cli" sound "$work/reel" -o "$work/sound.wav" --plot docs/plot.png
ls docs/*.png
