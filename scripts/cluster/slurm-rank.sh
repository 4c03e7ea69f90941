#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Ranks videos on a Slurm cluster: one job array indexes each video once, one job array ranks
# each video in stretches (a task per stretch), and a job that waits for all of them merges the
# parts into the ranking that `orvexa-batch rank VIDEO... --json` prints.
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: slurm-rank.sh VIDEO... [--segments N] [--out DIR] [--wait] [-- RANK-OPTION...]

Submits to Slurm (sbatch) one job array that indexes each VIDEO once (`orvexa-batch index`,
saved in DIR/index), one job array that then ranks each VIDEO in N stretches, one task a
stretch, each reading only the saved index and its own stretch, then one job that runs once
every task succeeded and merges their parts into DIR/ranking.json: what
`orvexa-batch rank VIDEO... --json` prints. Prints the three job ids.

  --segments N   stretches per video, N from 1 to 10000 (default 4)
  --out DIR      where the indexes (DIR/index), the parts (DIR/parts), the jobs' logs
                 (DIR/logs) and DIR/ranking.json
                 go (default ./orvexa-ranking); it must be seen at the same path by every node
  --wait         return once the merge is done: status 0 if DIR/ranking.json was written, 1 if
                 a task or the merge failed (the jobs still pending are then cancelled)
  -- RANK-OPTION...
                 options every task passes to `orvexa-batch rank` (--crop, --quality, ...)
  -h, --help     print this help

orvexa-batch is $ORVEXA_BATCH when set, else the one found on PATH; the nodes run it at that
path. Videos and DIR are passed on as absolute paths. sbatch's own variables (SBATCH_PARTITION,
SBATCH_TIMELIMIT, SBATCH_ACCOUNT...) reach both submissions.
EOF
}

bad_usage() {
  echo "slurm-rank.sh: $1" >&2
  usage >&2
  exit 2
}

fail() {
  echo "slurm-rank.sh: $1" >&2
  exit 1
}

# Its arguments quoted for bash, each followed by a space.
quoted() {
  local a
  for a in "$@"; do printf '%q ' "$a"; done
}

absolute() {
  if [[ "$1" == /* ]]; then printf '%s' "$1"; else printf '%s/%s' "$PWD" "$1"; fi
}

videos=()
segments=4
out=./orvexa-ranking
wait_for_merge=false
rank_options=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    -h | --help) usage; exit 0 ;;
    --segments | --out)
      [[ $# -ge 2 ]] || bad_usage "$1 needs a value"
      if [[ "$1" == --out ]]; then out=$2; else segments=$2; fi
      shift 2 ;;
    --segments=*) segments=${1#*=}; shift ;;
    --out=*) out=${1#*=}; shift ;;
    --wait) wait_for_merge=true; shift ;;
    --) shift; rank_options=("$@"); break ;;
    -*) bad_usage "unknown option $1" ;;
    *) videos+=("$1"); shift ;;
  esac
done
[[ ${#videos[@]} -gt 0 ]] || bad_usage "no video given"
if ! [[ "$segments" =~ ^[0-9]{1,6}$ ]] || ((10#$segments < 1 || 10#$segments > 10000)); then
  bad_usage "--segments takes a whole number from 1 to 10000, not '$segments'"
fi
segments=$((10#$segments))
[[ -n "$out" ]] || bad_usage "--out takes a directory"

command -v sbatch >/dev/null 2>&1 || fail "sbatch was not found on PATH: this script submits jobs to Slurm"
if [[ -n "${ORVEXA_BATCH:-}" ]]; then
  batch=$ORVEXA_BATCH
  if [[ "$batch" == */* ]]; then batch=$(absolute "$batch"); else batch=$(command -v "$batch" || true); fi
  [[ -n "$batch" && -x "$batch" ]] || fail "ORVEXA_BATCH is '$ORVEXA_BATCH', which is not a program that can be run"
else
  batch=$(command -v orvexa-batch || true)
  [[ -n "$batch" ]] || fail "orvexa-batch was not found on PATH; set ORVEXA_BATCH to its path"
  batch=$(absolute "$batch")
fi
for i in "${!videos[@]}"; do
  [[ -f "${videos[i]}" && -r "${videos[i]}" ]] || fail "cannot read the video '${videos[i]}'"
  videos[i]=$(absolute "${videos[i]}")
done
out=$(absolute "$out")

mkdir -p "$out/parts" "$out/logs" "$out/index" || fail "cannot make the directories of '$out'"
# An earlier ranking must not pass for this one if this one fails.
rm -f "$out/ranking.json"

# Each task's file is named by video then stretch, zero-filled so that they also sort in that order.
tasks=$((${#videos[@]} * segments))
width=$((${#videos[@]} > segments ? ${#videos[@]} : segments))
width=${#width}
parts=()
for ((i = 0; i < tasks; i++)); do
  parts+=("$(printf '%s/parts/%0*d-%0*d.json' "$out" "$width" $((i / segments + 1)) "$width" $((i % segments + 1)))")
done

# Each job's script holds its values quoted for bash; a task finds its video and stretch from
# its index. Files are written aside and renamed, so that a killed task leaves no partial file.
rank_script=$(
  printf '#!/bin/bash\nset -euo pipefail\n'
  printf 'batch=%q\n' "$batch"
  printf 'videos=(%s)\n' "$(quoted "${videos[@]}")"
  printf 'parts=(%s)\n' "$(quoted "${parts[@]}")"
  printf 'options=(%s)\n' "$(quoted "${rank_options[@]}")"
  printf 'segments=%d\n' "$segments"
  printf 'index=%q\n' "$out/index"
  cat <<'EOF'
i=$SLURM_ARRAY_TASK_ID
part=${parts[i]}
"$batch" rank "${videos[i / segments]}" --segment "$((i % segments + 1))/$segments" --json --index-dir "$index" \
  "${options[@]}" >"$part.partial" || { status=$?; rm -f "$part.partial"; exit "$status"; }
mv "$part.partial" "$part"
EOF
)
merge_script=$(
  printf '#!/bin/bash\nset -euo pipefail\n'
  printf 'batch=%q\n' "$batch"
  printf 'parts=(%s)\n' "$(quoted "${parts[@]}")"
  printf 'ranking=%q\n' "$out/ranking.json"
  cat <<'EOF'
"$batch" merge "${parts[@]}" --json >"$ranking.partial" || { status=$?; rm -f "$ranking.partial"; exit "$status"; }
mv "$ranking.partial" "$ranking"
EOF
)

# One task a video saves its index beside the parts, for every stretch's task to read. It only
# saves time: a video it cannot read is left to its rank tasks, which say why.
index_script=$(
  printf '#!/bin/bash\nset -uo pipefail\n'
  printf 'batch=%q\n' "$batch"
  printf 'videos=(%s)\n' "$(quoted "${videos[@]}")"
  printf 'index=%q\n' "$out/index"
  cat <<'EOF'
"$batch" index "${videos[SLURM_ARRAY_TASK_ID]}" --index-dir "$index" --quiet || true
EOF
)

# --parsable prints "ID" or "ID;CLUSTER".
index_id=$(sbatch --parsable --job-name=orvexa-index --chdir="$out" --array="0-$((${#videos[@]} - 1))" \
  --output="$out/logs/index-%A_%a.out" <<<"$index_script") || fail "sbatch refused the index jobs"
index_id=${index_id%%;*}
# The stretches start once every index job has ended, however it ended.
if ! array_id=$(sbatch --parsable --job-name=orvexa-rank --chdir="$out" --array="0-$((tasks - 1))" \
  --dependency="afterany:$index_id" --output="$out/logs/rank-%A_%a.out" <<<"$rank_script"); then
  scancel "$index_id" || true
  fail "sbatch refused the job array; the index jobs $index_id were cancelled"
fi
array_id=${array_id%%;*}
# Without --kill-on-invalid-dep a failed task would leave the merge pending for ever.
if ! merge_id=$(sbatch --parsable --job-name=orvexa-merge --chdir="$out" --dependency="afterok:$array_id" \
  --kill-on-invalid-dep=yes --output="$out/logs/merge-%j.out" <<<"$merge_script"); then
  scancel "$array_id" || true
  fail "sbatch refused the merge job; job array $array_id was cancelled"
fi
merge_id=${merge_id%%;*}
echo "Job array $index_id: ${#videos[@]} index tasks, indexes in $out/index"
echo "Job array $array_id: $tasks tasks (${#videos[@]} videos in $segments stretches each), parts in $out/parts"
echo "Job $merge_id: merges them into $out/ranking.json once every task succeeded"
$wait_for_merge || exit 0

# The value of FIELD in a line of `scontrol -o show job`.
field() {
  [[ " $1 " =~ [[:space:]]$2=([^[:space:]]*) ]] && printf '%s' "${BASH_REMATCH[1]}"
}

# Says which tasks did not succeed and cancels those that have not ended.
report_tasks() {
  local line state task
  while IFS= read -r line; do
    state=$(field "$line" JobState) || continue
    task=$(field "$line" ArrayTaskId) || continue
    case "$state" in
      COMPLETED | PENDING | RUNNING | CONFIGURING | COMPLETING) ;;
      *) echo "slurm-rank.sh: task $task (${videos[task / segments]}, stretch $((task % segments + 1))/$segments)" \
        "failed ($state, exit code $(field "$line" ExitCode)); see $out/logs/rank-${array_id}_$task.out" >&2 ;;
    esac
  done < <(scontrol -o show job "$array_id" 2>/dev/null)
  scancel "$array_id" 2>/dev/null || true
}

echo "Waiting for job $merge_id..." >&2
unknown=0
while true; do
  if line=$(scontrol -o show job "$merge_id" 2>/dev/null); then
    unknown=0
    state=$(field "$line" JobState) || state=UNKNOWN
    reason=$(field "$line" Reason) || reason=
  else
    # The controller forgets ended jobs after a while (MinJobAge); accounting, if any, remembers.
    state=$(sacct -n -X -P -o State -j "$merge_id" 2>/dev/null | head -n 1) || state=
    state=${state%% *}
    reason=
    # A controller that does not answer for a moment is waited for.
    if [[ -z "$state" ]] && ((++unknown >= 10)); then
      fail "job $merge_id is no longer known to Slurm; see $out/logs/merge-$merge_id.out"
    fi
  fi
  case "$state" in
    COMPLETED)
      [[ -s "$out/ranking.json" ]] || fail "job $merge_id ended but $out/ranking.json is missing here"
      echo "Ranking written to $out/ranking.json" >&2
      exit 0 ;;
    PENDING)
      if [[ "$reason" == DependencyNeverSatisfied ]]; then
        scancel "$merge_id" 2>/dev/null || true
        report_tasks
        fail "a task failed, so job $merge_id will not merge; it was cancelled"
      fi ;;
    CANCELLED)
      report_tasks
      fail "job $merge_id was cancelled$([[ "$reason" == DependencyNeverSatisfied ]] && echo " because a task failed")" ;;
    FAILED | TIMEOUT | NODE_FAIL | PREEMPTED | BOOT_FAIL | DEADLINE | OUT_OF_MEMORY)
      fail "the merge failed ($state, exit code $(field "$line" ExitCode)); see $out/logs/merge-$merge_id.out" ;;
  esac
  sleep 2
done
