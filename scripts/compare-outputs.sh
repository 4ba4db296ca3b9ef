#!/usr/bin/env bash
# Writes every output kind of both readers and of the movie over a set of generated
# reels and option sets, and lists a fingerprint of each, so two builds can be held
# against each other byte for byte:
#
#   scripts/compare-outputs.sh build/release /tmp/before > before.txt
#   scripts/compare-outputs.sh build/release /tmp/after  > after.txt
#   diff before.txt after.txt
#
# With REELS=DIR the reels are written there once and taken from there afterwards, so a
# build whose generator has changed is held against the same film.
#
# Each line: the case, the exit code, and the SHA-256 of each output. A Broadcast WAV's
# and a FLAC's date and time, and a muxed movie's random segment identifiers, change
# from run to run: those files are listed by what they decode to instead of their bytes
# (sound samples; video packets and sound samples).
set -uo pipefail

build=${1:?usage: $0 BUILD_DIR WORK_DIR}
work=${2:?usage: $0 BUILD_DIR WORK_DIR}
cli="$build/src/cli/kelvora-cli"
make_reel="$build/tools/make_reel"
reels=${REELS:-$work/reels}
rm -rf "$work/out"
[[ -n ${REELS:-} ]] || rm -rf "$reels"
mkdir -p "$reels" "$work/out"

reel() {
  local name=$1
  shift
  [[ -d $reels/$name ]] || "$make_reel" "$reels/$name" "$@" >/dev/null
}
reel va35 --dpi 900 --scans 6
reel vd35 --dpi 900 --scans 6 --film 35vd
reel va16 --dpi 1800 --scans 6 --film 16va --down
reel strip35 --dpi 900 --long-strip --scans 3
reel strip16 --dpi 900 --film 16va --long-strip --scans 3
reel grey16bit --dpi 900 --scans 6 --grey --sixteen-bit --inverse
reel aged --dpi 900 --scans 8 --shrinkage 0.01 --weave 2 --negative --splice 2
reel dpx10 --dpi 900 --scans 6 --dpx 10

# What a file holds, as a line of text: its bytes, or what it decodes to where its
# bytes carry the time of writing.
fingerprint() {
  local f=$1
  if [[ ! -e $f ]]; then
    echo "-"
    return
  fi
  case "$f" in
    *.flac | *-bwf.wav)
      python3 - "$f" <<'PY'
import hashlib, subprocess, sys
raw = subprocess.run(["sox", sys.argv[1], "-t", "f32", "-"], capture_output=True).stdout
print("decoded:" + hashlib.sha256(raw).hexdigest()[:16])
PY
      ;;
    *.mkv | *.mp4)
      python3 - "$f" <<'PY'
import hashlib, subprocess, sys
video = subprocess.run(["ffmpeg", "-v", "error", "-i", sys.argv[1], "-map", "0:v", "-f", "framemd5", "-"],
                       capture_output=True).stdout
audio = subprocess.run(["ffmpeg", "-v", "error", "-i", sys.argv[1], "-map", "0:a", "-f", "f32le", "-"],
                       capture_output=True).stdout
video = b"\n".join(l for l in video.splitlines() if not l.startswith(b"#"))
print("decoded:" + hashlib.sha256(video).hexdigest()[:16] + "/" + hashlib.sha256(audio).hexdigest()[:16])
PY
      ;;
    *.json)
      # Drop what names this run's files and time.
      python3 - "$f" <<'PY'
import hashlib, json, sys
j = json.load(open(sys.argv[1]))
def scrub(v):
    if isinstance(v, dict):
        return {k: scrub(x) for k, x in v.items() if k not in ("output", "input", "seconds", "date", "time")}
    if isinstance(v, list):
        return [scrub(x) for x in v]
    return v
print("json:" + hashlib.sha256(json.dumps(scrub(j), sort_keys=True).encode()).hexdigest()[:16])
PY
      ;;
    *) sha256sum "$f" | cut -c1-16 ;;
  esac
}

run() {
  local name=$1
  shift
  local outputs=()
  local args=()
  for a in "$@"; do
    case "$a" in
      @*) outputs+=("$work/out/${a#@}"); args+=("$work/out/${a#@}") ;;
      %*) args+=("$reels/${a#%}") ;;
      *) args+=("$a") ;;
    esac
  done
  "$cli" "${args[@]}" >/dev/null 2>&1
  local code=$?
  local line="$name exit=$code"
  for o in "${outputs[@]}"; do line+=" $(basename "$o")=$(fingerprint "$o")"; done
  echo "$line"
}

sound_sets=(
  "default|"
  "cutbysound|--cut-by-soundtrack"
  "nodc|--no-dc"
  "nocross|--no-crossfade"
  "nofilter|--no-filter"
  "correction|--frame-correction"
  "inverse|--inverse"
  "manual|--resolution 1800,1800"
  "fps24|--fps 24"
  "blue|--color B"
  "precise|--reader precise"
)
for r in va35 vd35 va16 strip35 strip16 grey16bit aged dpx10; do
  film=()
  case $r in
    vd35) film=(--film 35vd) ;;
    va16) film=(--film 16va --down) ;;
    strip35) film=(--long-strip) ;;
    strip16) film=(--film 16va --long-strip) ;;
  esac
  for s in "${sound_sets[@]}"; do
    key=${s%%|*}
    read -r -a opts <<<"${s#*|}"
    run "sound/$r/$key" sound "%$r" -o "@$r-$key.wav" "${film[@]}" "${opts[@]}" --report "@$r-$key.json"
  done
  run "sound/$r/wav24" sound "%$r" -o "@$r-wav24-bwf.wav" "${film[@]}" --format wav24 --rate 48000
  run "sound/$r/flac" sound "%$r" -o "@$r.flac" "${film[@]}" --format flac --reader precise
  run "sound/$r/float" sound "%$r" -o "@$r-float-bwf.wav" "${film[@]}" --format float
  run "movie/$r/default" movie "%$r" -o "@$r.avi" "${film[@]}"
  run "movie/$r/small" movie "%$r" -o "@$r-small.avi" "${film[@]}" --size 320x240 --codec XVID --cut-soundtrack
  run "movie/$r/inverse" movie "%$r" -o "@$r-inverse.avi" "${film[@]}" --inverse --frame-correction
  run "movie/$r/mkv" movie "%$r" -o "@$r.mkv" "${film[@]}" --with-sound auto
  run "movie/$r/ffv1" movie "%$r" -o "@$r-ffv1.mkv" "${film[@]}" --with-sound auto --codec FFV1 --size native
  run "inspect/$r" inspect "%$r" -o "@$r-inspect.png" "${film[@]}"
done
run "sound/plot" sound "%aged" -o "@aged-plot.wav" --plot "@aged-plot.png"
run "movie/mp4" movie "%va35" -o "@va35.mp4" --with-sound auto
