#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sharp footage with stretches blurred on purpose, and how each ranking measure ranks it:
#
#   bench/blur_set.sh ORVEXA-BATCH DIR [BEST]
#
# makes in DIR, when not there yet, a few generated videos (10 s at 25 frames a second) in
# which four stretches of 12 frames are blurred by a Gaussian of growing sigma (0.7, 1.5, 3,
# 6), with NAME.blurred listing the blurred frames; then prints, for each video and measure,
# how many blurred frames rank among the best BEST (default 20) and the best blurred frame's
# place in the ranking.
set -euo pipefail

batch=${1:?usage: blur_set.sh ORVEXA-BATCH DIR [BEST]}
dir=${2:?usage: blur_set.sh ORVEXA-BATCH DIR [BEST]}
best=${3:-20}
mkdir -p "$dir"

# Name, then a lavfi source of sharp footage.
sources=(
  "mandelbrot mandelbrot=s=640x360:r=25"
  "testsrc2 testsrc2=s=640x360:r=25"
  "life life=s=320x180:r=25:mold=10:ratio=0.1:death_color=#C83232:life_color=#00ff00,scale=640x360:flags=neighbor"
  "grain testsrc2=s=640x360:r=25,noise=alls=12:allf=t"
)
starts=(30 90 150 210)
sigmas=(0.7 1.5 3 6)
length=12

blur=""
truth=""
for i in "${!starts[@]}"; do
  s=${starts[$i]}
  e=$((s + length - 1))
  blur+=",gblur=sigma=${sigmas[$i]}:enable='between(n,$s,$e)'"
  truth+="$(seq "$s" "$e")"$'\n'
done

for entry in "${sources[@]}"; do
  name=${entry%% *}
  source=${entry#* }
  video="$dir/$name.avi"
  if [[ ! -s $video ]]; then
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$source" -t 10 -vf "format=yuv420p${blur}" \
      -c:v mpeg4 -q:v 2 -g 25 "$video"
    printf '%s' "$truth" > "$dir/$name.blurred"
  fi
done

printf '%-12s %-10s %8s %14s\n' video measure "blurred" "first blurred"
for entry in "${sources[@]}"; do
  name=${entry%% *}
  for measure in jpeg sharpness; do
    ranked=$("$batch" rank "$dir/$name.avi" --measure "$measure" --quiet | grep -v '^#' | cut -f1)
    picked=$(head -n "$best" <<< "$ranked" | grep -cxFf "$dir/$name.blurred" || true)
    first=$(grep -nxFf "$dir/$name.blurred" <<< "$ranked" | head -n1 | cut -d: -f1)
    printf '%-12s %-10s %5s/%-3s %14s\n' "$name" "$measure" "$picked" "$best" "$first"
  done
done
