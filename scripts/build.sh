#!/usr/bin/env bash
# Configures and builds Kelvora. Usage: scripts/build.sh [release|sanitize|tsan] [cmake args...]
# release: optimised, warnings are errors. sanitize: AddressSanitizer + UBSan.
# tsan: ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

kind="${1:-release}"
shift || true
case "$kind" in
  release) dir=build/release; flags=(-DCMAKE_BUILD_TYPE=Release -DKELVORA_WERROR=ON -DKELVORA_BUILD_BENCH=ON) ;;
  sanitize) dir=build/sanitize; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORA_SANITIZE=ON -DKELVORA_BUILD_BENCH=OFF) ;;
  tsan) dir=build/tsan; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORA_TSAN=ON -DKELVORA_BUILD_BENCH=OFF) ;;
  *) echo "usage: $0 [release|sanitize|tsan] [cmake args...]" >&2; exit 2 ;;
esac

# Options are given every time (later arguments win), so nothing lingers in the cache
# from an earlier run with other options.
cmake -S . -B "$dir" -G Ninja -DKELVORA_BUILD_TESTS=ON -DKELVORA_BUILD_GUI=ON "${flags[@]}" "$@" >&2
cmake --build "$dir" --parallel "$(nproc)" >&2
echo "$dir"
