#!/usr/bin/env bash
# Runs one line of a chunk plan (from ltide-chunks) as one task of a Slurm job array.
#
#   ltide-chunks --chunks 64 --ltide "$PWD/build/src/ltide/ltide" out/scan 2 0 1.0 -20 20 6401 201 100 > plan.txt
#   sbatch --array=1-$(wc -l < plan.txt) tools/ltide-slurm.sh plan.txt
#   sbatch --dependency=afterok:<job id> --wrap "ltide-join out/scan out/scan_c*"
#
# Task i runs line i of the plan (counted from 1), with as many threads as the task has
# CPUs: the run gets --threads=$SLURM_CPUS_PER_TASK unless its line already names a
# count (ltide-chunks --threads). A task asks for one CPU; give more with
# `sbatch --cpus-per-task=C`. Memory grows with n_mu * n_nu of a chunk and with n^2. Paths
# in the plan are taken from the directory sbatch was called in (Slurm starts the task there).
# Give each job a --time that fits the longest chunk; set LTIDE_PLAN_OFFSET to run
# lines beyond the cluster's largest array index (task i runs line i + offset).
#SBATCH --job-name=ltide
#SBATCH --cpus-per-task=1
#SBATCH --ntasks=1
#SBATCH --mem=2G
#SBATCH --output=ltide-%A_%a.log
set -euo pipefail

plan=${1:?usage: ltide-slurm.sh PLAN (one shell command per line, from ltide-chunks)}
task=${SLURM_ARRAY_TASK_ID:?not a Slurm array task: submit with sbatch --array=1-N}
line_number=$((task + ${LTIDE_PLAN_OFFSET:-0}))
line=$(sed -n "${line_number}p" "$plan")
if [ -z "$line" ]; then
  echo "ltide-slurm: $plan has no line $line_number" >&2
  exit 1
fi
cpus=${SLURM_CPUS_PER_TASK:-}
if [[ $cpus =~ ^[1-9][0-9]*$ && ! $line =~ [[:space:]]--threads(=|[[:space:]]) ]]; then
  # The option goes right after the program, the line's first shell word (bare, or
  # quoted as ltide-chunks quotes it).
  word="^(('[^']*'|\"[^\"]*\"|[^[:space:]'\"])+)(.*)\$"
  if [[ $line =~ $word ]]; then
    line="${BASH_REMATCH[1]} --threads=$cpus${BASH_REMATCH[3]}"
  fi
fi
echo "ltide-slurm: task $task, line $line_number: $line" >&2
# The line is a command written by ltide-chunks: the program, its arguments and the
# redirection of the report lines. A failed run fails the task.
exec bash -euo pipefail -c "$line"
