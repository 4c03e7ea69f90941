#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Ranks every video of a set made by bench/scene_videos.sh (its signatures, once: --fresh again)
# and runs FFmpeg's scdet over it, then prints bench/scenescore's table.
#   scenescore.sh [--fresh] BUILD_DIR SET_DIR...
set -euo pipefail
fresh=0
if [[ ${1:-} == --fresh ]]; then
  fresh=1
  shift
fi
[[ $# -ge 2 ]] || {
  echo "usage: $0 [--fresh] BUILD_DIR SET_DIR..." >&2
  exit 2
}
build=$1
shift
for dir in "$@"; do
  for truth in "$dir"/*.truth; do
    base=${truth%.truth}
    video=$base.mp4
    [[ -f $video ]] || video=$base.ts
    if [[ $fresh == 1 || ! -s $base.seg ]]; then
      "$build/orvexa-batch" rank "$video" --segment 1/1 --quiet >"$base.seg"
    fi
    if [[ ! -s $base.scdet ]]; then
      ffmpeg -nostdin -hide_banner -loglevel error -i "$video" \
        -vf "scdet=threshold=100,metadata=mode=print:file=$base.scdet" -f null -
    fi
  done
done
"$build/scenescore" "$@"
