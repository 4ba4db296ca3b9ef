#!/usr/bin/env bash
# Installs what is missing, builds Kelvora, generates a small sample reel of scanned
# film, decodes its soundtrack and cuts its pictures into a movie.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
dir=$(scripts/build.sh release -DKELVORA_BUILD_TESTS=OFF -DKELVORA_BUILD_BENCH=OFF | tail -n 1)
cli="$dir/src/cli/kelvora-cli"

"$cli" --version
rm -rf sample
mkdir -p sample
# A spoken sentence, printed on the film as its soundtrack: heard back, it says the
# decoding worked. make_reel writes as many scans as the sentence needs.
espeak-ng -w sample/speech.wav "This is the sample reel. Its sound was printed on film \
as an optical soundtrack, scanned, and read back from the scans by Kelvora."
"$dir/tools/make_reel" sample/scans --dpi 900 --grey --audio sample/speech.wav
"$cli" sound sample/scans -o sample/sound.wav --report sample/sound.json
"$cli" sound sample/scans -o sample/sound-48k.wav --format wav24 --rate 48000
"$cli" movie sample/scans -o sample/movie.avi

echo
echo "Soundtrack decoded to $(pwd)/sample/sound.wav"
echo "A 24-bit 48 kHz Broadcast WAV of it is sample/sound-48k.wav."
echo "The sentence printed on the reel is sample/speech.wav (as printed: sample/scans/source.wav)."
echo "Play it with:  aplay sample/sound.wav   (or any audio player)"
echo "The pictures are in $(pwd)/sample/movie.avi (any video player)."
