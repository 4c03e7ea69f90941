#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Makes a set of test videos with known scene cuts for bench/scenescore, with FFmpeg:
#   scene_videos.sh DIR SEED [ROUNDS] [FOOTAGE_DIR]
# Each round makes one video of every kind below, its pictures, sizes, rates, lengths, moves
# and transitions drawn from SEED: another seed gives a held-out set. Beside each video NAME
# (MP4 or TS) goes NAME.truth:
#   rate R / frames N / label L (the kind its false cuts count against) /
#   cut KIND FIRST END (the transition's frames, END excluded; FIRST = END for a hard cut)
# SCENE_KINDS, when set, names the kinds to make (default: all).
# FOOTAGE_DIR, when given, holds real footage (any videos, one continuous shot each): it is cut
# into shots joined by cuts and dissolves, and shown whole as a shot that must give no cut.
set -euo pipefail
[[ $# -ge 2 ]] || {
  echo "usage: $0 DIR SEED [ROUNDS] [FOOTAGE_DIR]" >&2
  exit 2
}
out=$1
RANDOM=$2
rounds=${3:-2}
footage=${4:-}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# R: a whole number from $1 to $2.
rnd() { R=$(($1 + RANDOM % ($2 - $1 + 1))); }
# P: one of the arguments.
pick() {
  local i=$((1 + RANDOM % $#))
  P=${!i}
}

sizes=(320x240 480x270 640x360 640x480 960x540 1280x720)
rates=(24 25 30 30000/1001 50 60)
W=0 H=0 RATE=25 FPS=25
new_format() {
  pick "${sizes[@]}"
  W=${P%x*} H=${P#*x}
  pick "${rates[@]}"
  RATE=$P
  FPS=$(awk "BEGIN{print $RATE}")
}
# Frames in $1 seconds (a decimal) at the current rate.
frames_of() { R=$(awk "BEGIN{printf \"%d\", $1 * $FPS + 0.5}"); }

# A still picture twice the video's size in $1, of a random kind.
picture() {
  local file=$1 kind seed boxes="" i x y w h
  seed=$RANDOM
  rnd 0 5
  kind=$R
  local pw=$((2 * W)) ph=$((2 * H))
  for ((i = 0; i < 10; i++)); do
    rnd 0 $((pw - 40)); x=$R
    rnd 0 $((ph - 40)); y=$R
    rnd 20 $((pw / 3)); w=$R
    rnd 20 $((ph / 3)); h=$R
    boxes+=",drawbox=x=$x:y=$y:w=$w:h=$h:t=fill:c=0x$(printf '%06x' $((RANDOM * RANDOM % 16777216)))@0.$((RANDOM % 6 + 3))"
  done
  case $kind in
    0)
      pick "-0.743643:0.131825" "-0.75:0.1" "-1.25066:0.02012" "0.28:0.008" "-0.16:1.0405" "-1.768:0.001"
      ff -f lavfi -i "mandelbrot=s=${pw}x${ph}:start_x=${P%:*}:start_y=${P#*:}:start_scale=0.0$((RANDOM % 9 + 1)):maxiter=300" \
        -frames:v 1 "$file"
      ;;
    1)
      rnd 6 40
      ff -f lavfi -i "color=c=gray:s=${pw}x${ph},noise=alls=100:allf=u:all_seed=$seed,gblur=sigma=$R,eq=contrast=6:saturation=4$boxes" \
        -frames:v 1 "$file"
      ;;
    2)
      pick testsrc2 smptehdbars pal100bars rgbtestsrc yuvtestsrc
      ff -f lavfi -i "$P=s=${pw}x${ph}:d=20" -ss $((seed % 15)) -vf "hue=h=$((seed % 360))$boxes" -frames:v 1 "$file"
      ;;
    3)
      ff -f lavfi -i "gradients=s=${pw}x${ph}:seed=$seed:n=$((seed % 5 + 3))" -vf "null$boxes" -frames:v 1 "$file"
      ;;
    4)
      ff -f lavfi -i "cellauto=s=${pw}x${ph}:rule=$((seed % 256)):random_seed=$seed:scroll=0" -ss 3 \
        -vf "format=rgb24,gblur=sigma=3,colorchannelmixer=.8:.2:0:0:.1:.5:.3:0:.3:.1:.2,eq=contrast=2$boxes" -frames:v 1 "$file"
      ;;
    5)
      ff -f lavfi -i "sierpinski=s=${pw}x${ph}:seed=$seed:type=$( ((seed % 2)) && echo carpet || echo triangle)" \
        -vf "format=rgb24,hue=h=$((seed % 360)):s=3$boxes" -frames:v 1 "$file"
      ;;
  esac
}

# A shot of $2 frames in $1: a camera move ($3) over a new picture, or a moving source.
#   still drift pan zoomin zoomout scroll reverse crash whip source footage:FILE:START
shot() {
  local file=$1 n=$2 move=$3 pic="$work/pic.png" vf
  local size="${W}x${H}"
  if [[ $move == source ]]; then
    rnd 0 3
    case $R in
      0) vf="testsrc2=s=$size:r=$RATE" ;;
      1) vf="mandelbrot=s=$size:r=$RATE:start_x=-0.743643887037151:start_y=0.13182590420533:maxiter=200:end_scale=0.0$((RANDOM % 9 + 1))" ;;
      2) vf="life=s=$size:r=$RATE:mold=10:ratio=0.$((RANDOM % 5 + 2)):seed=$RANDOM,scale=$size,gblur=sigma=1" ;;
      3) vf="gradients=s=$size:r=$RATE:seed=$RANDOM:speed=0.0$((RANDOM % 4 + 1))" ;;
    esac
    ff -f lavfi -i "$vf" -frames:v "$n" -pix_fmt yuv420p -c:v libx264 -preset ultrafast -crf 8 "$file"
    return
  fi
  if [[ $move == footage:* ]]; then
    local source=${move#footage:}
    local start=${source##*:}
    source=${source%:*}
    ff -ss "$start" -i "$source" -vf "${FRAMING:-null},fps=$RATE,scale=$size,setsar=1" -frames:v "$n" -pix_fmt yuv420p \
      -c:v libx264 -preset ultrafast -crf 8 "$file"
    return
  fi
  picture "$pic"
  local pw=$((2 * W)) ph=$((2 * H)) sx sy
  rnd 0 $((W / 2)); sx=$R
  rnd 0 $((H / 2)); sy=$R
  case $move in
    still) vf="crop=$W*3/2:$H*3/2:$sx:$sy,scale=$size" ;;
    drift) vf="crop=$W:$H:x='$sx+n*$W/(8*$n)':y='$sy+n*$H/(8*$n)'" ;;
    pan) vf="crop=$W:$H:x='n*$W/(2*$n)':y=$sy" ;;
    scroll) vf="crop=$W:$H:x='abs(mod(n*$W/30,2*$W)-$W)':y='$sy'" ;; # turns back at the edges: no jump
    reverse) vf="crop=$W:$H:x='$W*abs(mod(n/40,2)-1)':y='$sy+$H/4*abs(mod(n/57,2)-1)'" ;;
    whip)
      local at=$((n / 3))
      vf="crop=$W:$H:x='0.6*$W*min(max((n-$at)/8,0),1)':y=$sy"
      ;;
    zoomin | zoomout | crash)
      local z
      case $move in
        zoomin) z="1+0.5*on/$n" ;;
        zoomout) z="1.5-0.5*on/$n" ;;
        crash) z="1+3*min(on/($FPS*0.6),1)" ;;
      esac
      vf="zoompan=z='$z':x='iw/2-iw/zoom/2+$sx/4':y='ih/2-ih/zoom/2':d=1:s=$size:fps=$RATE"
      ;;
  esac
  ff -loop 1 -framerate "$RATE" -i "$pic" -vf "$vf,setsar=1,format=yuv420p" -frames:v "$n" -c:v libx264 \
    -preset ultrafast -crf 8 "$file"
}

# Joins shots into NAME. JOINS[i] says how shot i + 1 follows shot i: "cut", "xfade:TYPE:SECONDS",
# "fades:SECONDS" (a fade out, then a fade in of as many); KINDS[i] its kind for the score.
# POST is a filter over the whole video ("" for none).
SHOTS=() JOINS=() KINDS=() POST=""
join() {
  local name=$1 label=$2 container ext graph="" last="[v0]" frames=0 i lines="" n first end d
  pick mp4 ts
  container=$P
  for i in "${!SHOTS[@]}"; do graph+="[$i:v]fps=$RATE,settb=AVTB,format=yuv420p[v$i];"; done
  frames=${SHOT_FRAMES[0]}
  # Every shot keeps at least 1 s of its own between its transitions.
  local keep own=${SHOT_FRAMES[0]} most
  keep=$(awk "BEGIN{printf \"%d\", 1.0 * $FPS + 0.5}")
  for ((i = 1; i < ${#SHOTS[@]}; i++)); do
    n=${SHOT_FRAMES[$i]}
    most=$(((own - keep) < (n - keep) / 2 ? (own - keep) : (n - keep) / 2))
    case ${JOINS[$((i - 1))]} in
      cut)
        graph+="${last}[v$i]concat=n=2:v=1:a=0[j$i];"
        first=$frames end=$frames frames=$((frames + n)) own=$n
        ;;
      xfade:*)
        local type=${JOINS[$((i - 1))]#xfade:}
        frames_of "${type#*:}"
        d=$((R < most ? R : most))
        ((d >= 2)) || d=2 # a blend of no frames ends the video there
        type=${type%%:*}
        graph+="${last}[v$i]xfade=transition=$type:duration=$(awk "BEGIN{print $d / $FPS}"):offset=$(awk "BEGIN{printf \"%.6f\", ($frames - $d) / $FPS}")[j$i];"
        # The blend's first frame is still all of the first shot: the transition starts after it.
        first=$((frames - d + 1)) end=$frames frames=$((frames + n - d)) own=$((n - d))
        ;;
      fades:*)
        frames_of "${JOINS[$((i - 1))]#fades:}"
        d=$((R < most ? R : most))
        ((d >= 2)) || d=2
        graph+="${last}fade=t=out:s=$((frames - d)):n=${d}[o$i];[v$i]fade=t=in:s=0:n=${d}[i$i];[o$i][i$i]concat=n=2:v=1:a=0[j$i];"
        first=$((frames - d)) end=$((frames + d)) frames=$((frames + n)) own=$((n - d))
        ;;
    esac
    lines+="cut ${KINDS[$((i - 1))]} $first $end"$'\n'
    last="[j$i]"
  done
  graph+="${last}${POST:-null}[out]"
  local inputs=()
  for i in "${!SHOTS[@]}"; do inputs+=(-i "${SHOTS[$i]}"); done
  if [[ $container == ts ]]; then
    ext=ts
    pick mpeg2video libx264
    ff "${inputs[@]}" -filter_complex "$graph" -map "[out]" -frames:v "$frames" -r "$RATE" -c:v "$P" -q:v 3 \
      -f mpegts "$out/$name.$ext"
  else
    ext=mp4
    ff "${inputs[@]}" -filter_complex "$graph" -map "[out]" -frames:v "$frames" -r "$RATE" -c:v libx264 -crf 20 \
      -preset veryfast "$out/$name.$ext"
  fi
  printf 'rate %s\nframes %d\nlabel %s\n%s' "$FPS" "$frames" "$label" "$lines" >"$out/$name.truth"
  rm -f "${SHOTS[@]}"
  SHOTS=() JOINS=() KINDS=() SHOT_FRAMES=() POST=""
}
SHOT_FRAMES=()
# Adds a shot of $1 to $2 seconds with one of the moves after.
add_shot() {
  local low=$1 high=$2
  shift 2
  pick "$@"
  rnd "$(awk "BEGIN{print int($low * $FPS)}")" "$(awk "BEGIN{print int($high * $FPS)}")"
  local file="$work/shot${#SHOTS[@]}.mkv" n=$R
  shot "$file" "$n" "$P"
  SHOTS+=("$file")
  SHOT_FRAMES+=("$n")
}
# A decimal number of seconds from $1 to $2 in tenths.
seconds() { rnd "$1" "$2"; S=$(awk "BEGIN{print $R / 10}"); }

calm=(still still drift pan zoomin zoomout source)
fast=(scroll reverse whip crash source zoomin)
footage_files=()
if [[ -n $footage ]]; then
  while IFS= read -r -d '' f; do footage_files+=("$f"); done < <(find -L "$footage" -type f -print0 | sort -z)
fi
# A stretch of real footage as a move, when there is any.
footage_move() {
  pick "${footage_files[@]}"
  F="footage:$P:$((RANDOM % 6))"
}

made=0
video() {
  local kind=$1 label name i count
  new_format
  name=$(printf '%02d-%s' "$made" "$kind")
  label=$kind
  case $kind in
    hard | hardmotion | grain)
      rnd 4 6; count=$R
      for ((i = 0; i < count; i++)); do
        if [[ $kind == hardmotion ]]; then add_shot 1.0 3.0 "${fast[@]}"; else add_shot 0.8 3.0 "${calm[@]}"; fi
        ((i == 0)) || { JOINS+=(cut); KINDS+=(hard); }
      done
      [[ $kind != grain ]] || POST="noise=alls=$((RANDOM % 20 + 10)):allf=t"
      ;;
    dissolve | fade | wipe | slide | shaped | blend | flickerdissolve | motiondissolve)
      rnd 4 6; count=$R
      for ((i = 0; i < count; i++)); do
        if [[ $kind == motiondissolve ]]; then add_shot 1.5 3.5 "${fast[@]}"; else add_shot 1.2 3.5 "${calm[@]}"; fi
        ((i == 0)) && continue
        case $kind in
          dissolve | flickerdissolve | motiondissolve)
            pick fade fade dissolve
            seconds 2 30
            JOINS+=("xfade:$P:$S"); KINDS+=("$kind") ;;
          fade)
            seconds 3 20
            pick "xfade:fadeblack:$S" "xfade:fadewhite:$S" "fades:$S"
            JOINS+=("$P"); KINDS+=(fade) ;;
          wipe)
            pick wipeleft wiperight wipeup wipedown smoothleft smoothright wipetl wipebr
            seconds 3 15
            JOINS+=("xfade:$P:$S"); KINDS+=(wipe) ;;
          slide)
            pick slideleft slideright slideup slidedown
            seconds 3 15
            JOINS+=("xfade:$P:$S"); KINDS+=(slide) ;;
          shaped)
            pick circleopen circleclose radial rectcrop circlecrop diagtl diagbr horzopen vertclose hlslice vuslice
            seconds 4 15
            JOINS+=("xfade:$P:$S"); KINDS+=(shaped) ;;
          blend)
            pick pixelize hblur squeezeh squeezev distance fadegrays
            seconds 4 15
            JOINS+=("xfade:$P:$S"); KINDS+=(blend) ;;
        esac
      done
      [[ $kind != flickerdissolve ]] || POST="eq=eval=frame:brightness='0.04*(2*random(0)-1)'"
      ;;
    dimdissolve)
      # Shots of one dim picture, framed apart, joined by dissolves of about a second.
      rnd 3 5; count=$R
      picture "$work/dim.png"
      if [[ ${#footage_files[@]} -gt 0 ]] && ((RANDOM % 2)); then
        # ... or of one piece of real footage.
        footage_move
        local source=${F%:*}
        for ((i = 0; i < count; i++)); do
          # Framed apart like the pictures below: a still camera's footage at another moment
          # is nearly the same picture, which no one sees as another shot.
          FRAMING="crop=iw*2/3:ih*2/3:iw*$((i % 2))/4:ih*$((RANDOM % 2))/4"
          add_shot 1.2 3.0 "$source:$((RANDOM % 8))"
          ((i == 0)) && continue
          seconds 8 12
          JOINS+=("xfade:fade:$S"); KINDS+=(dimdissolve)
        done
        POST="eq=brightness=-0.25:contrast=0.5"
        FRAMING=""
        count=0
      fi
      for ((i = 0; i < count; i++)); do
        seconds 15 35
        frames_of "$S"
        local n=$R x y file="$work/shot$i.mkv"
        rnd 0 $((W / 2)); x=$R
        rnd 0 $((H / 2)); y=$R
        ff -loop 1 -framerate "$RATE" -i "$work/dim.png" -vf "crop=$W*3/2:$H*3/2:$x:$y,scale=${W}x$H,eq=brightness=-0.25:contrast=0.5,noise=alls=6:allf=t,setsar=1,format=yuv420p" \
          -frames:v "$n" -c:v libx264 -preset ultrafast -crf 8 "$file"
        SHOTS+=("$file")
        SHOT_FRAMES+=("$n")
        ((i == 0)) && continue
        seconds 8 12
        JOINS+=("xfade:fade:$S"); KINDS+=(dimdissolve)
      done
      ;;
    cutcrash)
      # Hard cuts into a crash zoom, then a dissolve.
      add_shot 1.0 2.5 "${calm[@]}"
      add_shot 1.5 2.5 crash; JOINS+=(cut); KINDS+=(cutcrash)
      add_shot 1.8 3.0 "${calm[@]}"; seconds 5 15; JOINS+=("xfade:fade:$S"); KINDS+=(dissolve)
      add_shot 1.5 2.5 crash whip; JOINS+=(cut); KINDS+=(cutcrash)
      ;;
    footage)
      rnd 3 5; count=$R
      for ((i = 0; i < count; i++)); do
        footage_move
        # Framed apart, as a still camera may show the same picture at another moment.
        FRAMING="crop=iw*2/3:ih*2/3:iw*$((i % 2))/4:ih*$((i / 2 % 2))/4"
        add_shot 1.5 3.0 "$F"
        ((i == 0)) && continue
        pick cut "xfade:fade:0.5" "xfade:fade:1.2" "xfade:wipeleft:0.8"
        JOINS+=("$P")
        case $P in cut) KINDS+=(hard) ;; *wipe*) KINDS+=(wipe) ;; *) KINDS+=(dissolve) ;; esac
      done
      FRAMING=""
      ;;
    nocut*)
      # One shot: camera moves, flashes, light changes, flicker; it must give no cut.
      case $kind in
        nocutflash)
          add_shot 4 7 "${calm[@]}"
          local a b c
          rnd 10 25; a=$R; rnd 40 55; b=$R; rnd 70 90; c=$R
          rnd 2 3
          local fl=$R wf
          rnd 4 6; wf=$R
          POST="eq=eval=frame:brightness='if(between(n,$a,$((a + fl - 1))),0.9*(1-(n-$a)/$fl),0)+if(between(n,$b,$((b + wf - 1))),1,0)+if(between(n,$c,$((c + 1))),0.6,0)'"
          ;;
        nocutlight)
          add_shot 4 7 still drift zoomin source
          local a b
          rnd 20 40; a=$R; rnd 70 100; b=$R
          POST="eq=eval=frame:brightness='if(between(n,$a,$b),-0.22,0)':contrast='if(between(n,$a,$b),0.6,1)':gamma='if(between(n,$a,$b),0.8,1)'"
          ;;
        nocutflicker)
          RATE=60 FPS=60
          add_shot 3 6 "${calm[@]}"
          POST="eq=eval=frame:brightness='0.1*(2*random(0)-1)'"
          ;;
        nocutmove)
          add_shot 4 8 reverse scroll whip crash zoomin zoomout pan
          POST="noise=alls=$((RANDOM % 15)):allf=t"
          ;;
        nocutfootage)
          footage_move
          add_shot 4 8 "$F"
          ;;
      esac
      label=$kind
      ;;
  esac
  join "$name" "$label"
  made=$((made + 1))
}

all="hard hardmotion grain dissolve fade wipe slide shaped blend flickerdissolve motiondissolve dimdissolve"
all+=" cutcrash nocutflash nocutlight nocutflicker nocutmove"
read -r -a kinds <<<"${SCENE_KINDS:-$all}"
[[ ${#footage_files[@]} -eq 0 || -n ${SCENE_KINDS:-} ]] || kinds+=(footage nocutfootage)
for ((round = 0; round < rounds; round++)); do
  for kind in "${kinds[@]}"; do
    video "$kind"
    echo "$out: $made videos" >&2
  done
done
