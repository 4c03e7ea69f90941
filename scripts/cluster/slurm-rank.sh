#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Ranks videos on a Slurm cluster: a job array indexes each video once, job arrays then rank
# each video in stretches (a task per stretch), and a job that waits for all of them merges the
# parts into the ranking that `orvexa-batch rank VIDEO... --json` prints.
#
# Bash 4.3 and older, still on many nodes, take "${a[@]}" of an empty array for an unbound
# variable under set -u: arrays that may be empty are expanded as ${a[@]+"${a[@]}"}.
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: slurm-rank.sh VIDEO... [--segments N] [--out DIR] [--wait] [-- RANK-OPTION...]

Submits to Slurm (sbatch) a job array that indexes each VIDEO once (`orvexa-batch index
--from-tables`, saved in DIR/index), job arrays that then rank each VIDEO in N stretches, one
task a stretch, each reading only the saved index and its own stretch (several arrays when
there are more tasks than Slurm's MaxArraySize), then one job that runs once every task
succeeded and merges their parts into DIR/ranking.json: what `orvexa-batch rank VIDEO...
--json` prints. Prints the job ids. A task that finds its stretch of an MP4 damaged indexes
the video again from its data for the others: the merge job then has the stretches ranked
on the index read before ranked again, once, and a second merge job merges.

  --segments N   stretches per video, N from 1 to 10000 (default 4)
  --out DIR      where the indexes (DIR/index), the parts (DIR/parts), the jobs' logs
                 (DIR/logs) and DIR/ranking.json
                 go (default ./orvexa-ranking); it must be seen at the same path by every node
  --wait         return once the merge is done, having checked that DIR/ranking.json holds
                 every frame of every video: status 0 when every frame was decoded; 1 when a
                 task or the merge failed (the jobs still pending are then cancelled), or when,
                 as with rank, frames could not be decoded (listed last, with no length)
  -- RANK-OPTION...
                 options every task passes to `orvexa-batch rank` (--crop, --quality, ...)
  -h, --help     print this help

A task succeeds when its part holds every frame of its stretch, frames that could not be
decoded included. orvexa-batch is $ORVEXA_BATCH when set, else the one found on PATH; the
nodes run it at that path. Videos and DIR are passed on as absolute paths. sbatch's own
variables (SBATCH_PARTITION, SBATCH_TIMELIMIT, SBATCH_ACCOUNT...) reach every submission.
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

# Checks a ranking as orvexa-batch writes it with --json, one frame a line: "[", then for each
# video a line that opens it and ends with "frames":[, a line a frame ({"frame":N,...}), a line
# that closes it (]...}), and "]" last. Each video must list every frame once: all of
# frame_count, or of its stretch (first .. end - 1) in a part. Prints, for each video (counted
# from 0) with frames that could not be decoded, "VIDEO COUNT"; fails on any other layout, on
# a number of videos other than `videos`, and on a frame missing, out of range or twice.
# Written for any POSIX awk (mawk included).
# shellcheck disable=SC2016  # the awk program is quoted for awk, not for the shell
ranking_check='
function number(line, key,    at) {
  if (!match(line, "[,{]\"" key "\":[0-9]+")) return -1
  at = substr(line, RSTART, RLENGTH)
  return substr(at, index(at, ":") + 1) + 0
}
BEGIN { state = "start"; count = 0; bad = 0 }
bad { next }
state == "start" { if ($0 != "[") bad = 1; state = "video"; next }
state == "video" && $0 == "]" { state = "end"; next }
state == "video" {
  if ($0 !~ /^[{]"video":".*"frames":[[]$/) { bad = 1; next }
  frames = number($0, "frame_count")
  if (part) { first = number($0, "first"); end = number($0, "end") } else { first = 0; end = frames }
  if (frames <= 0 || first < 0 || end <= first || end > frames) { bad = 1; next }
  listed = 0; undecoded = 0; split("", seen); state = "frames"; next
}
state == "frames" && /^[]](,"errors":[[].*[]])?[}],?$/ {
  if (listed != end - first) { bad = 1; next }
  if (undecoded > 0) print count, undecoded
  count++; state = "video"; next
}
state == "frames" {
  if ($0 !~ /^[{]"frame":[0-9]+,.*[}],?$/) { bad = 1; next }
  frame = number($0, "frame")
  if (frame < first || frame >= end || (frame in seen)) { bad = 1; next }
  seen[frame] = 1; listed++
  if ($0 ~ /,"decoded":false/) undecoded++
  next
}
{ bad = 1 }
END { exit (bad || state != "end" || count != videos) }'

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
command -v scontrol >/dev/null 2>&1 || fail "scontrol was not found on PATH: this script asks Slurm for its limits"
if [[ -n "${ORVEXA_BATCH:-}" ]]; then
  batch=$ORVEXA_BATCH
  if [[ "$batch" == */* ]]; then batch=$(absolute "$batch"); else batch=$(command -v "$batch" || true); fi
  # A directory passes -x: only a regular file is a program.
  [[ -n "$batch" && -f "$batch" && -x "$batch" ]] ||
    fail "ORVEXA_BATCH is '$ORVEXA_BATCH', which is not a program that can be run"
else
  batch=$(command -v orvexa-batch || true)
  [[ -n "$batch" && -f "$batch" && -x "$batch" ]] || fail "orvexa-batch was not found on PATH; set ORVEXA_BATCH to its path"
  batch=$(absolute "$batch")
fi
# The same file twice, by two names too, would only fail in the merge after every task ran.
declare -A given=()
for i in "${!videos[@]}"; do
  [[ -f "${videos[i]}" && -r "${videos[i]}" ]] || fail "cannot read the video '${videos[i]}'"
  file_id=$(stat -L -c '%d:%i' -- "${videos[i]}") || fail "cannot read the video '${videos[i]}'"
  [[ -z "${given[$file_id]+set}" ]] || fail "the video '${videos[i]}' is given twice (also as '${given[$file_id]}')"
  given[$file_id]=${videos[i]}
  videos[i]=$(absolute "${videos[i]}")
done
out=$(absolute "$out")

# An array's task indices run from 0 to MaxArraySize - 1: more tasks go into several arrays.
tasks=$((${#videos[@]} * segments))
config=$(scontrol show config 2>/dev/null) || fail "cannot read Slurm's configuration (scontrol show config)"
max_array=$(awk '$1 == "MaxArraySize" && $2 == "=" { print $3 }' <<<"$config")
[[ "$max_array" =~ ^[0-9]+$ ]] || fail "Slurm's configuration gives no MaxArraySize"
((max_array > 0)) || fail "Slurm's MaxArraySize is 0: job arrays are disabled on this cluster"
arrays=$(((tasks + max_array - 1) / max_array))

jobs=$out/jobs
mkdir -p "$out/parts" "$out/logs" "$out/index" "$jobs" || fail "cannot make the directories of '$out'"
# An earlier ranking must not pass for this one if this one fails, nor its merge's follow-up.
rm -f "$out/ranking.json" "$jobs/rerun"

# Each task's file is named by video then stretch, zero-filled so that they also sort in that order.
width=$((${#videos[@]} > segments ? ${#videos[@]} : segments))
width=${#width}
parts=()
for ((i = 0; i < tasks; i++)); do
  parts+=("$(printf '%s/parts/%0*d-%0*d.json' "$out" "$width" $((i / segments + 1)) "$width" $((i % segments + 1)))")
done

# sbatch reads --output as a pattern: there %% is a %, and a name with a \ in it is read with
# no pattern at all (each \\ a \). A log a task is then named by the task itself, and Slurm's
# own messages (a time limit...) go to one file for all.
if [[ "$out" == *\\* ]]; then
  literal=${out//\\/\\\\}
  index_output=$literal/logs/slurm-index.out
  rank_output=$literal/logs/slurm-rank.out
  merge_output=$literal/logs/slurm-merge.out
  own_logs=true
else
  index_output=${out//%/%%}/logs/index-%A_%a.out
  rank_output=${out//%/%%}/logs/rank-%A_%a.out
  merge_output=${out//%/%%}/logs/merge-%j.out
  own_logs=false
fi

# Each job's script holds its values quoted for bash; a task finds its video and stretch from
# its array's first task and its index. Files are written aside and moved into place only when
# they hold every frame, and orvexa-batch succeeded or said that frames could not be decoded
# (status 1): a killed or failed task, or one whose output was cut short, leaves no file behind.
# Part of the task and merge scripts: FILE.partial is moved to FILE when orvexa-batch succeeded,
# or said (status 1) that frames could not be decoded and FILE.partial still holds every frame;
# otherwise it is removed and the job fails.
#   place STATUS FILE PART VIDEOS WHAT WHICH-FRAMES JOB
place_function=$(
  cat <<'EOF'
place() {
  local status=$1 file=$2
  if ((status > 1)) || ! awk -v part="$3" -v videos="$4" "$check" "$file.partial" >/dev/null; then
    rm -f "$file.partial"
    if ((status <= 1)); then
      echo "${5^} does not hold $6: $7 fails." >&2
      status=1
    fi
    exit "$status"
  fi
  ((status == 0)) || echo "${5^} holds $6: $7 succeeds." >&2
  mv "$file.partial" "$file"
}
EOF
)
# The rank tasks' script takes the array's first task as its argument: the merge job submits it
# again for the stretches to rank again.
rank_script() {
  printf '#!/bin/bash\nset -euo pipefail\n'
  printf 'batch=%q\n' "$batch"
  printf 'videos=(%s)\n' "$(quoted "${videos[@]}")"
  printf 'parts=(%s)\n' "$(quoted "${parts[@]}")"
  printf 'options=(%s)\n' "$(quoted ${rank_options[@]+"${rank_options[@]}"})"
  printf 'segments=%d\n' "$segments"
  # shellcheck disable=SC2016  # for the job's bash
  echo 'first=$1'
  printf 'check=%q\n' "$ranking_check"
  printf 'index=%q\n' "$out/index"
  printf 'logs=%q\nown_logs=%s\n' "$out/logs" "$own_logs"
  printf '%s\n' "$place_function"
  cat <<'EOF'
if $own_logs; then exec >>"$logs/rank-${SLURM_ARRAY_JOB_ID}_$SLURM_ARRAY_TASK_ID.out" 2>&1; fi
i=$((first + SLURM_ARRAY_TASK_ID))
part=${parts[i]}
status=0
"$batch" rank "${videos[i / segments]}" --segment "$((i % segments + 1))/$segments" --json \
  --index-dir "$index" ${options[@]+"${options[@]}"} >"$part.partial" || status=$?
place "$status" "$part" 1 1 "the part" "every frame of its stretch" "the task"
EOF
}
# One task a video saves its index beside the parts, for every stretch's task to read. It only
# saves time: a video it cannot read is left to its rank tasks, which say why. An MP4's index is
# read from its tables, the frames' data left to the tasks, each looking into its stretch's.
index_script() {
  printf '#!/bin/bash\nset -uo pipefail\n'
  printf 'batch=%q\n' "$batch"
  printf 'videos=(%s)\n' "$(quoted "${videos[@]}")"
  printf 'first=%d\n' "$1"
  printf 'index=%q\n' "$out/index"
  printf 'logs=%q\nown_logs=%s\n' "$out/logs" "$own_logs"
  cat <<'EOF'
if $own_logs; then exec >>"$logs/index-${SLURM_ARRAY_JOB_ID}_$SLURM_ARRAY_TASK_ID.out" 2>&1; fi
"$batch" index "${videos[first + SLURM_ARRAY_TASK_ID]}" --index-dir "$index" --from-tables --quiet || true
EOF
}
# Prints, one a line, the tasks (from 0) to run again: of each video whose parts were not all
# ranked on one index (a task found the video damaged, indexed it again from its data and
# saved that index), those ranked on the index read from its sample tables. Reads each part's
# second line, which opens its video.
# shellcheck disable=SC2016  # the awk program is quoted for awk, not for the shell
stale_check='
function number(line, key,    at) {
  if (!match(line, "[,{]\"" key "\":[0-9]+")) return -1
  at = substr(line, RSTART, RLENGTH)
  return substr(at, index(at, ":") + 1) + 0
}
BEGIN { task = -1 }
FNR == 1 { task++ }
FNR == 2 {
  video = int(task / segments)
  tables[task] = $0 ~ /,"positions":"tables"[}]/
  ranked_on = number($0, "frame_count") " " tables[task]
  if (!(video in first)) first[video] = ranked_on
  else if (first[video] != ranked_on) mixed[video] = 1
  nextfile
}
END { for (t = 0; t <= task; t++) if ((int(t / segments) in mixed) && tables[t]) print t }'

# The merge job's script takes its attempt as its argument: the first has the stretches ranked
# on another index than their video's others ranked again, and submits the second to merge
# them; otherwise, and in the second, it merges.
merge_script() {
  printf '#!/bin/bash\nset -euo pipefail\n'
  printf 'batch=%q\n' "$batch"
  printf 'parts=(%s)\n' "$(quoted "${parts[@]}")"
  printf 'ranking=%q\n' "$out/ranking.json"
  printf 'count=%d\n' "${#videos[@]}"
  printf 'check=%q\n' "$ranking_check"
  printf 'stale_check=%q\n' "$stale_check"
  printf 'segments=%d\nmax_array=%d\n' "$segments" "$max_array"
  printf 'out=%q\njobs=%q\n' "$out" "$jobs"
  printf 'rank_output=%q\nmerge_output=%q\n' "$rank_output" "$merge_output"
  printf 'logs=%q\nown_logs=%s\n' "$out/logs" "$own_logs"
  printf '%s\n' "$place_function"
  cat <<'EOF'
if $own_logs; then exec >>"$logs/merge-$SLURM_JOB_ID.out" 2>&1; fi
stale=
if (($1 == 1)); then
  stale=$(awk -v segments="$segments" "$stale_check" "${parts[@]}") || {
    echo "The parts cannot be read: the merge fails." >&2
    exit 1
  }
fi
if [[ -n "$stale" ]]; then
  # The tasks keep their numbers: one array for those of each array first submitted.
  reruns=()
  lines=()
  rerun() {
    local id
    if ! id=$(sbatch --parsable --chdir="$out" --job-name=orvexa-rank --array="$ids" --open-mode=append \
      --output="$rank_output" "$jobs/rank.sh" "$((chunk * max_array))"); then
      ((${#reruns[@]} == 0)) || scancel "${reruns[@]}" 2>/dev/null || true
      echo "sbatch refused the tasks to run again: the merge fails." >&2
      exit 1
    fi
    reruns+=("${id%%;*}")
    lines+=("array ${id%%;*} $((chunk * max_array))")
  }
  chunk=-1
  ids=
  while read -r task; do
    if ((task / max_array != chunk)); then
      [[ -z "$ids" ]] || rerun
      chunk=$((task / max_array))
      ids=
    fi
    ids+=${ids:+,}$((task - chunk * max_array))
  done <<<"$stale"
  rerun
  after=$(IFS=:; printf '%s' "${reruns[*]}")
  if ! id=$(sbatch --parsable --chdir="$out" --job-name=orvexa-merge --dependency="afterok:$after" \
    --kill-on-invalid-dep=yes --open-mode=append --output="$merge_output" "$jobs/merge.sh" 2); then
    scancel "${reruns[@]}" 2>/dev/null || true
    echo "sbatch refused the second merge job: the merge fails." >&2
    exit 1
  fi
  # Where slurm-rank.sh --wait follows the ranking.
  if ! { printf '%s\n' "merge ${id%%;*}" "${lines[@]}" >"$jobs/rerun.partial" && mv "$jobs/rerun.partial" "$jobs/rerun"; }; then
    scancel "${reruns[@]}" "${id%%;*}" 2>/dev/null || true
    echo "Cannot write $jobs/rerun: the merge fails." >&2
    exit 1
  fi
  echo "A task found a video damaged and indexed it again: tasks $(tr '\n' ' ' <<<"$stale")(from 0) run" \
    "again on that index, job array(s) ${reruns[*]}; job ${id%%;*} merges." >&2
  exit 0
fi
status=0
"$batch" merge "${parts[@]}" --json >"$ranking.partial" || status=$?
place "$status" "$ranking" 0 "$count" "the ranking" "every frame of every video" "the merge"
EOF
}

submitted=()
# Cancels what was submitted, then fails.
abandon() {
  local cancelled=
  if [[ ${#submitted[@]} -gt 0 ]]; then
    scancel "${submitted[@]}" 2>/dev/null || true
    cancelled="; job(s) ${submitted[*]} cancelled"
  fi
  fail "$1$cancelled"
}
# Submits a job script (standard input, or the file after the OPTIONS, with its arguments) with
# sbatch's OPTIONS; prints its id.
submit() {
  local id
  id=$(sbatch --parsable --chdir="$out" "$@") || return 1
  printf '%s' "${id%%;*}"  # --parsable prints "ID" or "ID;CLUSTER"
}

{ rank_script >"$jobs/rank.sh" && merge_script >"$jobs/merge.sh"; } || fail "cannot write the jobs' scripts in $jobs"

# The stretches start once every index task has ended, however it ended.
index_ids=()
for ((first = 0; first < ${#videos[@]}; first += max_array)); do
  count=$((${#videos[@]} - first < max_array ? ${#videos[@]} - first : max_array))
  id=$(index_script "$first" | submit --job-name=orvexa-index --array="0-$((count - 1))" \
    --open-mode=append --output="$index_output") || abandon "sbatch refused the index jobs"
  submitted+=("$id")
  index_ids+=("$id")
done
indexed=$(IFS=:; printf '%s' "${index_ids[*]}")

array_ids=()
array_firsts=()
for ((a = 0; a < arrays; a++)); do
  first=$((a * max_array))
  count=$((tasks - first < max_array ? tasks - first : max_array))
  id=$(submit --job-name=orvexa-rank --array="0-$((count - 1))" --dependency="afterany:$indexed" \
    --open-mode=append --output="$rank_output" "$jobs/rank.sh" "$first") || abandon "sbatch refused job array $((a + 1)) of $arrays"
  submitted+=("$id")
  array_ids+=("$id")
  array_firsts+=("$first")
done
# Without --kill-on-invalid-dep a failed task would leave the merge pending for ever.
after=$(IFS=:; printf '%s' "${array_ids[*]}")
merge_id=$(submit --job-name=orvexa-merge --dependency="afterok:$after" --kill-on-invalid-dep=yes \
  --open-mode=append --output="$merge_output" "$jobs/merge.sh" 1) || abandon "sbatch refused the merge job"
submitted+=("$merge_id")
echo "Job array(s) ${index_ids[*]}: ${#videos[@]} index tasks, indexes in $out/index"
for a in "${!array_ids[@]}"; do
  first=${array_firsts[a]}
  last=$((a + 1 < arrays ? array_firsts[a + 1] : tasks))
  echo "Job array ${array_ids[a]}: tasks $((first + 1)) to $last of $tasks (${#videos[@]} videos in $segments stretches each), parts in $out/parts"
done
echo "Job $merge_id: merges them into $out/ranking.json once every task succeeded"
$wait_for_merge || exit 0

# The value of FIELD in a line of `scontrol -o show job`.
field() {
  [[ " $1 " =~ [[:space:]]$2=([^[:space:]]*) ]] && printf '%s' "${BASH_REMATCH[1]}"
}

# Says which tasks did not succeed and cancels those that have not ended.
report_tasks() {
  local a line state task
  for a in "${!array_ids[@]}"; do
    while IFS= read -r line; do
      state=$(field "$line" JobState) || continue
      task=$(field "$line" ArrayTaskId) || continue
      [[ "$task" =~ ^[0-9]+$ ]] || continue
      local i=$((array_firsts[a] + task))
      case "$state" in
        COMPLETED | PENDING | RUNNING | CONFIGURING | COMPLETING) ;;
        *) echo "slurm-rank.sh: task $i (${videos[i / segments]}, stretch $((i % segments + 1))/$segments)" \
          "failed ($state, exit code $(field "$line" ExitCode)); see $out/logs/rank-${array_ids[a]}_$task.out" >&2 ;;
      esac
    done < <(scontrol -o show job "${array_ids[a]}" 2>/dev/null)
  done
  scancel "${array_ids[@]}" 2>/dev/null || true
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
      # The merge had stretches ranked again: the second merge job is followed, with their tasks.
      if [[ ! -f "$out/ranking.json" && -f "$jobs/rerun" ]] && read -r _ next <"$jobs/rerun" && [[ "$next" != "$merge_id" ]]; then
        merge_id=$next
        array_ids=()
        array_firsts=()
        while read -r what id first; do
          [[ "$what" == array ]] || continue
          array_ids+=("$id")
          array_firsts+=("$first")
        done <"$jobs/rerun"
        echo "Waiting for job $merge_id, which merges once the stretches ranked again are..." >&2
        continue
      fi
      # What is read here is what the merge wrote, seen from this machine: whole, or nothing.
      [[ -f "$out/ranking.json" ]] || fail "job $merge_id ended but $out/ranking.json is missing here"
      undecoded=$(awk -v part=0 -v videos="${#videos[@]}" "$ranking_check" "$out/ranking.json") ||
        fail "job $merge_id ended but $out/ranking.json does not hold every frame of every video"
      lost=0
      while read -r v count; do
        [[ -n "$v" ]] || continue
        echo "slurm-rank.sh: ${videos[v]}: $count frames could not be decoded (ranked last, with 0 bytes)" >&2
        lost=$((lost + count))
      done <<<"$undecoded"
      echo "Ranking written to $out/ranking.json" >&2
      # As rank: the ranking is whole, and the status says that frames were lost.
      ((lost == 0)) || exit 1
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
