#!/bin/bash
# One task of a Slurm job array: this task's shard of the manifest. Submit it with
#   sbatch --array=1-N docs/kelvora-array.sh MANIFEST OUTDIR [batch options]
# Every task reads the same manifest and writes into the same OUTDIR on shared
# storage; Slurm numbers the tasks 1..N and each takes every N-th reel.
#SBATCH --job-name=kelvora
#SBATCH --cpus-per-task=2
#SBATCH --output=kelvora-%A_%a.log
set -euo pipefail
manifest="$1"
outdir="$2"
shift 2
exec "${KELVORA_CLI:-kelvora-cli}" batch "$manifest" -o "$outdir" \
  --shard "${SLURM_ARRAY_TASK_ID}/${SLURM_ARRAY_TASK_COUNT}" "$@"
