#!/usr/bin/env bash
# Runs a batch on a real scheduler: a one-node Slurm on this machine (its own munged,
# slurmctld and slurmd, with a minimal slurm.conf), the job array script of
# docs/cluster.md over a manifest of 6 generated reels in 3 shards, then checks that
# every reel was done exactly once and gives the bytes of a single-machine batch.
# The daemons it started are stopped when it ends. Usage: scripts/slurm-test.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build="${1:-build/release}"
started=$(date +%s)

fail() {
  echo "slurm test: FAILED: $*" >&2
  exit 1
}

# Slurm and munge from Debian, as the rest of the tools.
missing=()
for p in slurm-wlm munge; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} > 0)); then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
[[ -x "$build/src/cli/kelvora-cli" && -x "$build/tools/make_reel" ]] ||
  fail "no kelvora-cli in $build (build it first: scripts/build.sh release)"
cli="$repo/$build/src/cli/kelvora-cli"
# The script submitted is the one docs/cluster.md shows.
shown=$(sed -n '/^`docs\/kelvora-array.sh` is the script/,/^```$/p' docs/cluster.md | sed '1,3d;$d')
[[ "$shown" == "$(cat docs/kelvora-array.sh)" ]] ||
  fail "docs/cluster.md does not show docs/kelvora-array.sh as it is"

work=$(mktemp -d /tmp/kelvora-slurm-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  sleep 1
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Six reels of different kinds, with options of their own in the manifest.
options=("--scans 5" "--scans 5 --down" "--scans 4 --film 16va --dpi 1800"
  "--scans 5 --grey --fps 24" "--scans 5 --film 35vd" "--scans 3 --long-strip")
lines=("" "--down" "--film 16va" "--fps 24" "--film 35vd" "--long-strip")
: >"$work/manifest.txt"
for i in 0 1 2 3 4 5; do
  # shellcheck disable=SC2086
  "$build/tools/make_reel" "$work/reels/reel$((i + 1))" ${options[$i]} >/dev/null
  echo "$work/reels/reel$((i + 1)) ${lines[$i]}" >>"$work/manifest.txt"
done
"$cli" batch "$work/manifest.txt" -o "$work/single" --sound --movie 2>"$work/single.log" ||
  fail "the single-machine batch failed: $(cat "$work/single.log")"

# A private munged: its own key and socket, so nothing of the machine's is touched.
mkdir -p "$work/munge" "$work/slurm/spool" "$work/slurm/state"
chmod 700 "$work/munge"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge/munge.key"
socket="$work/munge/munge.socket"
/usr/sbin/munged --force --socket="$socket" --key-file="$work/munge/munge.key" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
  --seed-file="$work/munge/munged.seed" || fail "munged did not start: $(cat "$work/munge/munged.log" 2>/dev/null)"
pids+=("$(cat "$work/munge/munged.pid")")

node=$(hostname -s)
conf="$work/slurm/slurm.conf"
cat >"$conf" <<CONF
ClusterName=kelvora-test
SlurmctldHost=$node
SlurmUser=$(id -un)
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
MpiDefault=none
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SlurmctldPort=16817
SlurmdPort=16818
SlurmctldPidFile=$work/slurm/slurmctld.pid
SlurmdPidFile=$work/slurm/slurmd.pid
SlurmdSpoolDir=$work/slurm/spool
StateSaveLocation=$work/slurm/state
SlurmctldLogFile=$work/slurm/slurmctld.log
SlurmdLogFile=$work/slurm/slurmd.log
ReturnToService=2
NodeName=$node CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=30 State=UP
CONF
export SLURM_CONF="$conf"
/usr/sbin/slurmctld -f "$conf" || fail "slurmctld did not start: $(tail -5 "$work/slurm/slurmctld.log" 2>/dev/null)"
sleep 1
pids+=("$(cat "$work/slurm/slurmctld.pid")")
/usr/sbin/slurmd -f "$conf" || fail "slurmd did not start: $(tail -5 "$work/slurm/slurmd.log" 2>/dev/null)"
sleep 1
pids+=("$(cat "$work/slurm/slurmd.pid")")
for _ in $(seq 60); do
  sinfo -h -o %t 2>/dev/null | grep -q idle && break
  sleep 1
done
sinfo -h -o %t 2>/dev/null | grep -q idle ||
  fail "the Slurm node did not come up: $(sinfo 2>&1 | tail -2); $(tail -3 "$work/slurm/slurmd.log")"

# The documented array script, three tasks, one shard each.
cd "$work"
KELVORA_CLI="$cli" timeout 240 sbatch --wait --array=1-3 --export=ALL \
  "$repo/docs/kelvora-array.sh" "$work/manifest.txt" "$work/shared" --sound --movie \
  >"$work/sbatch.out" || fail "the job array did not finish: $(cat "$work"/kelvora-*.log 2>/dev/null)"
cd "$repo"

for i in 1 2 3; do
  [[ -f "$work/shared/batch-$i-of-3.json" ]] || fail "task $i left no batch-$i-of-3.json"
done
reels=$(grep -h '"reel":' "$work"/shared/batch-*-of-3.json | sort)
[[ $(echo "$reels" | wc -l) -eq 6 ]] || fail "the shards did $(echo "$reels" | wc -l) reels, not 6"
[[ -z $(echo "$reels" | uniq -d) ]] || fail "reels done twice: $(echo "$reels" | uniq -d)"
if grep -h '"outcome":' "$work"/shared/batch-*-of-3.json | grep -vq '"done"'; then
  fail "a reel did not finish: $(grep -h '"outcome":' "$work"/shared/batch-*-of-3.json)"
fi
for i in 1 2 3 4 5 6; do
  for ext in wav avi; do
    cmp -s "$work/single/reel$i.$ext" "$work/shared/reel$i.$ext" ||
      fail "reel$i.$ext from the cluster differs from the single-machine run"
  done
done
echo "slurm test: 6 reels in 3 shards through Slurm's job array, each done once," \
  "the same bytes as one machine ($(($(date +%s) - started)) s)"
