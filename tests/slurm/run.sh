#!/usr/bin/env bash
# The Slurm recipe of docs/scaling.md against a real Slurm: a single-node cluster on
# this machine (munged, slurmctld and slurmd on localhost, every file, socket and port
# its own, under a temporary directory), the chunk plan submitted as a job array with the
# join as a dependent job, and the joined files and table compared with one run.
#
#   tests/slurm/run.sh [BUILD_DIR]       (default: build; run by .ci/run)
#
# Needs root: installs Debian's slurm-wlm and munge when missing and starts the daemons.
# Where it cannot run (not root, packages not installable) it says so and exits 0; a
# recipe that fails, or a cluster that does not come up, is a failure (status 1). The
# daemons it started are stopped on every exit, and the temporary directory removed.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
exe=$build/src/ltide/ltide
# The tools run from the build tree's package, with the interpreter CMake chose.
python=$(sed -n 's/^LTIDE_PYTHON3:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
export PYTHONPATH=$build/python${PYTHONPATH:+:$PYTHONPATH}
say() { echo "slurm test: $*"; }
skip() { say "skipped: $*"; exit 0; }
fail() { say "FAILED: $*" >&2; exit 1; }

[ -x "$exe" ] || fail "no program $exe: build it first"
[ -n "$python" ] && [ -f "$build/python/ltide/join.py" ] || fail "no Python package in $build/python: build it first"
[ "$(id -u)" -eq 0 ] || skip "needs root (installs slurm-wlm and munge, starts munged, slurmctld, slurmd)"
missing=()
for p in slurm-wlm munge; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  # The lock timeout: another apt-get on the machine is waited for, not failed on.
  apt_get=(timeout 600 env DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout=300)
  "${apt_get[@]}" update >/dev/null 2>&1 || true
  "${apt_get[@]}" install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
    skip "could not install ${missing[*]} with apt-get"
fi
for tool in munged munge slurmctld slurmd sbatch squeue sinfo scontrol scancel; do
  command -v "$tool" >/dev/null || skip "$tool not found after installing slurm-wlm and munge"
done

tmp=$(mktemp -d /tmp/ltide-slurm.XXXXXX)
pids=()
jobs_submitted=()
started=$SECONDS
show_logs() {
  for f in "$tmp"/*.log "$tmp"/work/*.log "$tmp"/work/slurm-*.out; do
    [ -f "$f" ] || continue
    echo "---- ${f#"$tmp"/} (last 30 lines)" >&2
    tail -n 30 "$f" >&2
  done
}
cleanup() {
  status=$?
  trap - EXIT
  [ $status -eq 0 ] || show_logs
  if [ ${#jobs_submitted[@]} -gt 0 ] && [ ${#pids[@]} -gt 1 ]; then
    timeout 10 scancel "${jobs_submitted[@]}" >/dev/null 2>&1 || true
  fi
  # Newest first: slurmd, slurmctld, then munged, which both of them talk through.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$tmp"
  exit $status
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

# Waits (at most $1 seconds) for the command after it to succeed.
wait_for() {
  local limit=$1; shift
  local until=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $until ] || return 1
    sleep 0.5
  done
}

# munged with a fresh key; its socket, pid, seed and log in the temporary directory.
mkdir -m 700 "$tmp/munge"
head -c 1024 /dev/urandom > "$tmp/munge/munge.key"
chmod 400 "$tmp/munge/munge.key"
socket=$tmp/munge/munge.socket
munged --foreground --force --key-file="$tmp/munge/munge.key" --socket="$socket" \
  --pid-file="$tmp/munge/munged.pid" --seed-file="$tmp/munge/munged.seed" \
  --log-file="$tmp/munged.log" > "$tmp/munged.out.log" 2>&1 &
pids+=($!)
munge_works() { munge -n -S "$socket" | unmunge -S "$socket"; }
wait_for 20 munge_works || fail "munged did not come up"

# Two free ports on localhost (the defaults 6817/6818 may belong to a real cluster).
read -r ctld_port slurmd_port < <("$python" -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')

node=ltidenode
mkdir -p "$tmp/state" "$tmp/spool" "$tmp/work/out"
: > "$tmp/plugstack.conf"
# One node of 2 CPUs, whatever the machine has (config_overrides); CPUs are the only
# consumable, so the script's --mem asks nothing the node must hold back.
cat > "$tmp/slurm.conf" <<EOF
ClusterName=ltidetest
SlurmctldHost=localhost
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
PlugStackConfig=$tmp/plugstack.conf
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
DependencyParameters=kill_invalid_depend
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
ReturnToService=2
SlurmdParameters=config_overrides
NodeName=$node NodeHostname=localhost NodeAddr=127.0.0.1 CPUs=2 RealMemory=8192 State=UNKNOWN
PartitionName=ltide Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$tmp/slurm.conf
slurmctld -D > "$tmp/slurmctld.out.log" 2>&1 &
pids+=($!)
slurmd -D -N "$node" > "$tmp/slurmd.out.log" 2>&1 &
pids+=($!)
node_idle() { [ "$(timeout 10 sinfo -h -n "$node" -o %t)" = idle ]; }
wait_for 60 node_idle || fail "the node did not become idle within 60 s"
say "cluster up in $((SECONDS - started)) s"

# The recipe as the docs give it, on a grid that joins byte for byte (4 chunks of 9
# points; every fraction exact), each task with 2 CPUs and so 2 threads.
cd "$tmp/work"
args=(2 0 1.0 -16 16 33 41 60)
"$python" -m ltide.chunks --points 9 --ltide "$exe" out/scan "${args[@]}" > out/plan.txt
tasks=$(wc -l < out/plan.txt)
[ "$tasks" -eq 4 ] || fail "the plan has $tasks lines, not 4"
jobid=$(timeout 30 sbatch --parsable --cpus-per-task=2 --array=1-"$tasks" "$root/tools/ltide-slurm.sh" out/plan.txt)
jobid=${jobid%%;*}
jobs_submitted+=("$jobid")
joinid=$(timeout 30 sbatch --parsable --dependency=afterok:"$jobid" --wrap "'$python' -m ltide.join out/scan out/scan_c*")
joinid=${joinid%%;*}
jobs_submitted+=("$joinid")
say "submitted array job $jobid ($tasks tasks) and join $joinid"

queue_empty() { [ -z "$(timeout 10 squeue -h -j "$jobid,$joinid" -o %i)" ]; }
wait_for 300 queue_empty || fail "jobs still queued or running after 300 s"
for id in "$jobid" "$joinid"; do
  states=$(timeout 10 scontrol -o show job "$id" | grep -o 'JobState=[A-Z_]*') || fail "job $id: no record"
  [ -z "$(grep -v '^JobState=COMPLETED$' <<< "$states")" ] || fail "job $id ended as:" $states
done
for log in ltide-"$jobid"_*.log; do
  grep -q -- "--threads=2 " "$log" || fail "$log: the run was not given --threads=2"
done

# One run over the whole grid, on one thread; the joined table differs only in its
# command line.
"$exe" --threads=1 --table=out/one.tab -- out/one "${args[@]}" > out/one.txt
no_command_line() { grep -v '^# command line: ' "$1"; }
compared=0
for one in out/one.txt out/one_xi_*.uf2 out/one.tab; do
  joined=out/scan${one#out/one}
  [ -f "$joined" ] || fail "the join wrote no $joined"
  if [ "$one" = out/one.tab ]; then
    cmp -s <(no_command_line "$one") <(no_command_line "$joined") || fail "$joined differs from $one"
  else
    cmp -s "$one" "$joined" || fail "$joined differs from $one"
  fi
  compared=$((compared + 1))
done
[ $compared -eq 8 ] || fail "compared $compared files, not 8"
say "passed: $tasks chunks and the join on Slurm, 8 files byte-identical to one run ($((SECONDS - started)) s)"
