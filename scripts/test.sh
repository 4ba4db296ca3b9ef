#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
# Usage: scripts/test.sh [release|sanitize|tsan]
# tsan runs the tests where threads meet: the jobs, the window and the command line.
set -euo pipefail
cd "$(dirname "$0")/.."

kind="${1:-release}"
scripts/install-deps.sh
dir=$(scripts/build.sh "$kind" | tail -n 1)
export QT_QPA_PLATFORM=offscreen
if [[ "$kind" == sanitize ]]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
only=()
if [[ "$kind" == tsan ]]; then
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
  only=(-R 'SoundReel|SoundJob|MovieReel|MovieJob|MovieSixteen|Cli|Batch|MainWindow|ScanReader|AsyncFrame|MovieWriter|Muxed')
fi
ctest --test-dir "$dir" --output-on-failure --no-tests=error --parallel "$(nproc)" --timeout 600 \
  "${only[@]}"
