#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# What a cluster ranking reads: starts a one-node Slurm cluster (munged, slurmctld, slurmd, as
# root, with its own key, configuration and ports in a temporary folder, as the cluster test
# does), runs scripts/cluster/slurm-rank.sh on VIDEO for each segment count, and prints the
# bytes every job's orvexa-batch read through system calls (rchar of /proc/PID/io, the
# program and all it waited for), the index job's and the tasks' apart, against the file's
# size, and how many tasks ran (more than the segments when a task found an MP4 indexed from its
# tables damaged, and the merge job had the stretches ranked before ranked again). With --check,
# also whether ranking.json is what `orvexa-batch rank VIDEO --json` prints. The cluster is
# stopped and the folder removed at the end, whatever happens.
#
#   bench/cluster_reads.sh [--check] ORVEXA-BATCH VIDEO [SEGMENTS...]   (default segments: 4 16)
set -euo pipefail

check=false
if [[ "${1:-}" == --check ]]; then
  check=true
  shift
fi
[[ $# -ge 2 ]] || {
  echo "usage: cluster_reads.sh [--check] ORVEXA-BATCH VIDEO [SEGMENTS...]" >&2
  exit 2
}
[[ $(id -u) -eq 0 ]] || {
  echo "cluster_reads.sh: starting the munge and Slurm daemons needs root" >&2
  exit 1
}
for program in munged slurmctld slurmd sbatch sinfo scontrol; do
  command -v "$program" >/dev/null || {
    echo "cluster_reads.sh: $program is missing (scripts/install-deps.sh all installs it)" >&2
    exit 1
  }
done
here=$(cd "$(dirname "$0")" && pwd)
batch=$(realpath "$1")
video=$(realpath "$2")
shift 2
counts=("$@")
[[ ${#counts[@]} -gt 0 ]] || counts=(4 16)
size=$(stat -L -c %s "$video")

root=$(mktemp -d)
pids=()
stop() {
  local pid
  for pid in ${pids[@]+"${pids[@]}"}; do kill "$pid" 2>/dev/null || true; done
  for pid in ${pids[@]+"${pids[@]}"}; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$root"
}
trap stop EXIT
mkdir -p "$root/munge" "$root/state" "$root/spool"
head -c 1024 /dev/urandom >"$root/munge/key"
chmod 0400 "$root/munge/key"
munged --foreground --force --key-file="$root/munge/key" --socket="$root/munge/socket" \
  --pid-file="$root/munge/pid" --seed-file="$root/munge/seed" --log-file="$root/munge/log" >"$root/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -S "$root/munge/socket" ]] && break; sleep 0.05; done

# A free port each, for the controller and the node.
port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
host=$(hostname -s)
cat >"$root/slurm.conf" <<EOF
ClusterName=orvexabench
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$(port)
SlurmdPort=$(port)
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$root/munge/socket
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$root/state
SlurmdSpoolDir=$root/spool
SlurmctldPidFile=$root/slurmctld.pid
SlurmdPidFile=$root/slurmd.pid
SlurmctldLogFile=$root/slurmctld.log
SlurmdLogFile=$root/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=bench Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
echo "CgroupPlugin=cgroup/v1" >"$root/cgroup.conf"
export SLURM_CONF=$root/slurm.conf
slurmctld -D -f "$SLURM_CONF" >"$root/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$host" >"$root/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 240); do [[ $(sinfo -h -o %T 2>/dev/null) == idle ]] && break; sleep 0.25; done
[[ $(sinfo -h -o %T) == idle ]] || {
  echo "cluster_reads.sh: the node did not come up" >&2
  exit 1
}

# What the jobs run: orvexa-batch, then a line "COMMAND RCHAR" for it.
cat >"$root/batch" <<EOF
#!/usr/bin/env bash
status=0
$(printf '%q' "$batch") "\$@" || status=\$?
echo "\$1 \$(awk '/^rchar/ { print \$2 }' /proc/\$\$/io)" >>$(printf '%q' "$root/reads")
exit "\$status"
EOF
chmod +x "$root/batch"

echo "file: $video, $size bytes"
if $check; then
  "$batch" rank "$video" --json --index-dir "$root/alone-index" >"$root/alone.json" || true
fi
for n in "${counts[@]}"; do
  : >"$root/reads"
  out=$root/out-$n
  start=$(date +%s)
  ORVEXA_BATCH=$root/batch "$here/../scripts/cluster/slurm-rank.sh" "$video" --segments "$n" --out "$out" --wait \
    >/dev/null 2>"$root/script.err" || {
    cat "$root/script.err" >&2
    exit 1
  }
  awk -v size="$size" -v n="$n" -v seconds="$(($(date +%s) - start))" '
    $1 == "index" { index_bytes += $2 }
    $1 == "rank" { rank += $2; tasks++ }
    $1 == "merge" { merges++ }
    END {
      printf "%d segments (%d tasks, %d merges, %d s): index job %.1f MB, tasks %.1f MB, together %.3f times the file\n",
        n, tasks, merges, seconds, index_bytes / 1e6, rank / 1e6, (index_bytes + rank) / size
    }' "$root/reads"
  if $check; then
    if cmp -s "$out/ranking.json" "$root/alone.json"; then
      echo "  ranking.json is what rank prints"
    else
      echo "  ranking.json DIFFERS from what rank prints"
    fi
  fi
done
