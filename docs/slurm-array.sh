#!/bin/bash
# The nightly lotsizing-batch run on a Slurm cluster: a job array whose task K
# (SLURM_ARRAY_TASK_ID) plans shard K of N, N being the number of tasks; the N
# shards together hold every demand once.
#
#   sbatch slurm-array.sh                  # N = 4, as --array below says
#   sbatch --array=1-8 slurm-array.sh      # N = 8
#   LOTSIZING_DSN=Planung sbatch slurm-array.sh
#
# The array must be 1-N (each task one shard, N tasks). Every node needs the
# lotsizing package, the ODBC driver of the database and the data source in
# ODBCINI (default /etc/lotsizing/odbc.ini; a server database). Each task's log
# is its output file. Nightly: a line in scrontab (02:00), or a cron line on the
# submit host that runs sbatch; --dependency=singleton keeps a night's array
# waiting until the last one has ended, so runs never overlap.
#
#SBATCH --job-name=lotsizing-batch
#SBATCH --array=1-4
#SBATCH --dependency=singleton
#SBATCH --cpus-per-task=2
#SBATCH --time=04:00:00
#SBATCH --output=lotsizing-batch-%A-%a.log
set -euo pipefail

shard=${SLURM_ARRAY_TASK_ID:?submit with sbatch --array=1-N}
shards=${SLURM_ARRAY_TASK_COUNT:?submit with sbatch --array=1-N}
dsn=${LOTSIZING_DSN:-Lager}
export ODBCINI=${ODBCINI:-/etc/lotsizing/odbc.ini}
# The PostgreSQL Unicode driver needs a UTF-8 locale.
export LANG=C.UTF-8
# Further options, split at spaces (--wait-for-database 600, --json, ...).
read -ra options <<<"${LOTSIZING_OPTIONS:-}"

# Slurm sends SIGTERM to the program itself when the job is cancelled or runs
# out of time (the program then finishes the demands in hand); the script waits
# for that end instead of ending first.
trap : TERM INT
status=0
/usr/bin/lotsizing-batch "$dsn" --shard "$shard/$shards" --jobs "${SLURM_CPUS_PER_TASK:-2}" \
  "${options[@]}" || status=$?
# Exit status 1: some demands refused for their data, each named in the log.
# The shard is done, as the systemd service counts it; the planners correct the data.
if [[ $status -eq 1 ]]; then status=0; fi
exit "$status"
