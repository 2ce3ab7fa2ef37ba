#!/usr/bin/env bash
# Converts a list of pictures over a Slurm job array, each task taking its shard of the list.
#
#   sbatch --array=0-7 scripts/cluster/convert-array.sh LIST OUTDIR REPORTDIR [options...]
#
# Task K of N runs
#   quillpane-convert --files-from LIST --shard K/N --skip-existing
#                     --report REPORTDIR/shard-K-of-N.jsonl -o OUTDIR [options...]
# with as many pictures at once as Slurm gave it processors (--cpus-per-task). The options
# are quillpane-convert's (--settings job.json, --width 1200, --keep-tree ROOT, ...); the
# list, folders and settings must be where every node can read them.
#
# A task that failed or was killed is submitted again alone and does only what is left:
#   sbatch --array=5 --export=ALL,SHARDS=8 scripts/cluster/convert-array.sh LIST OUTDIR REPORTDIR ...
# (SHARDS keeps the split of the whole array: alone, the task would be an array of one.)
# When every task has ended:
#   quillpane-check-report LIST REPORTDIR/*.jsonl
#
# QUILLPANE_CONVERT names the command when it is not on the PATH.
#SBATCH --job-name=quillpane-convert
#SBATCH --cpus-per-task=1
set -euo pipefail

if [[ $# -lt 3 ]]; then
  echo "usage: sbatch --array=0-N-1 $0 LIST OUTDIR REPORTDIR [quillpane-convert options...]" >&2
  exit 2
fi
list=$1 outdir=$2 reports=$3
shift 3
task=${SLURM_ARRAY_TASK_ID:?not a task of a Slurm job array: submit with sbatch --array}
shards=${SHARDS:-${SLURM_ARRAY_TASK_COUNT:?}}
mkdir -p "$reports"
exec "${QUILLPANE_CONVERT:-quillpane-convert}" --files-from "$list" --shard "$task/$shards" --skip-existing \
  --report "$reports/shard-$task-of-$shards.jsonl" --jobs "${SLURM_CPUS_PER_TASK:-1}" -o "$outdir" "$@"
