#!/usr/bin/env bash
# Times the capture of the exact frame at a chosen second against ffmpeg's own accurate seek
# (ffmpeg -ss T -i clip -frames:v 1) and against ffmpegthumbnailer (nearest key frame only).
#
#   bench/video_capture_bench.sh [BUILD_DIR]
#
# BUILD_DIR holds src/platform/video/mirelo_capture_probe (default: build) and, when built,
# src/cli/mirelo-batch. Six clips of 1280x720, 30 fps, 20 s, GOP 250, made once in
# $VIDEO_BENCH_DIR (default: BUILD_DIR/bench-video). CONTAINER picks them:
#   flv   H.264 in FLV with a key frame index (default; MPEG-4 part 2 in AVI without libx264)
#   mp4   the same H.264 streams in MP4        mkv   the same in Matroska
#   webm  VP9 in WebM                          mpeg2 MPEG-2 in an MPEG program stream (.mpg)
#   hevc  HEVC (x265) in MP4
# Set SECOND to change the position (default 15), RUNS the number of timed runs (default 5);
# MAKE_ONLY=1 only makes the clips. LEADIN=1 gives every clip a 2-second black lead-in (clips
# named lead*) and times the auto scene (the first frame that shows something) against the
# first frame instead.
# Rows: the probe capturing the clips one after another and one per core at a time (as the batch
# engine does; every decode on frame threads), mirelo-batch making JPEG thumbnails of the frames,
# ffmpeg -ss, ffmpegthumbnailer.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
probe=$build/src/platform/video/mirelo_capture_probe
batch=$build/src/cli/mirelo-batch
corpus=${VIDEO_BENCH_DIR:-$build/bench-video}
second=${SECOND:-15}
runs=${RUNS:-5}
container=${CONTAINER:-flv}

if [[ ! -x $probe ]]; then
  echo "missing $probe: cmake --build $build --target mirelo_capture_probe" >&2
  exit 2
fi
for tool in ffmpeg ffprobe hyperfine; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done
have_thumbnailer=0
command -v ffmpegthumbnailer >/dev/null && have_thumbnailer=1
have_batch=0
[[ -x $batch ]] && have_batch=1

# Six different sources so that no two clips compress alike.
sources=(
  "testsrc2=size=1280x720:rate=30"
  "testsrc=size=1280x720:rate=30"
  "life=size=1280x720:rate=30:mold=10:ratio=0.5:death_color=#203040:life_color=#e0c080"
  "smptehdbars=size=1280x720:rate=30,noise=alls=20:allf=t"
  "cellauto=size=1280x720:rate=30:rule=110"
  "rgbtestsrc=size=1280x720:rate=30,hue=H=t"
)
# Tagged BT.709 as HD camera footage is, so that every tool converts the colours alike.
tag=(-vf "scale=out_color_matrix=bt709:out_range=tv" -colorspace bt709 -color_primaries bt709 -color_trc bt709)
encoders=$(ffmpeg -hide_banner -encoders 2>/dev/null)
need() {
  [[ $encoders == *"$1"* ]] || { echo "CONTAINER=$container needs ffmpeg's $1 encoder" >&2; exit 2; }
}
remux=()  # made from the FLV clips by copying their streams
case $container in
  flv)
    if [[ $encoders == *libx264* ]]; then
      codec=(-c:v libx264 -preset veryfast -crf 23 -g 250 -pix_fmt yuv420p -flvflags add_keyframe_index)
      ext=flv
    else
      codec=(-c:v mpeg4 -q:v 4 -g 250)
      ext=avi
    fi
    ;;
  mp4 | mkv) need libx264; ext=$container; remux=(-c copy) ;;
  webm) need libvpx-vp9; codec=(-c:v libvpx-vp9 -crf 32 -b:v 0 -g 250 -deadline realtime -cpu-used 8 -row-mt 1); ext=webm ;;
  mpeg2) codec=(-c:v mpeg2video -q:v 4 -g 250 -bf 2 -f vob); ext=mpg ;;
  hevc) need libx265; codec=(-c:v libx265 -preset veryfast -crf 26 -g 250 -pix_fmt yuv420p -tag:v hvc1 -x265-params log-level=error); ext=mp4 ;;
  *) echo "unknown CONTAINER=$container (flv mp4 mkv webm mpeg2 hevc)" >&2; exit 2 ;;
esac

mkdir -p "$corpus"
clips=()
for i in "${!sources[@]}"; do
  name=clip$((i + 1))
  [[ $container == hevc ]] && name=hevc$((i + 1))
  [[ $container == mpeg2 ]] && name=mpeg2_$((i + 1))
  [[ ${LEADIN:-0} == 1 ]] && name=lead_$name
  clip=$corpus/$name.$ext
  if [[ ! -s $clip ]]; then
    echo "making $clip" >&2
    # The program stream muxer complains about every large I-frame: its messages are shown only
    # when the encode fails.
    if [[ ${LEADIN:-0} == 1 ]]; then
      ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi \
        -i "color=black:size=1280x720:rate=30:duration=2[a];${sources[$i]}[b];[a][b]concat=n=2:v=1:a=0" -t 20 \
        "${tag[@]}" "${codec[@]}" "$clip.tmp.$ext" 2>"$clip.log" </dev/null || { cat "$clip.log" >&2; exit 1; }
    elif (( ${#remux[@]} )); then
      flv=$corpus/clip$((i + 1)).flv
      [[ -s $flv ]] || { echo "run with CONTAINER=flv first (makes $flv)" >&2; exit 2; }
      ffmpeg -nostdin -hide_banner -loglevel error -y -i "$flv" "${remux[@]}" "$clip.tmp.$ext" 2>"$clip.log" ||
        { cat "$clip.log" >&2; exit 1; }
    else
      ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "${sources[$i]}" -t 20 "${tag[@]}" "${codec[@]}" \
        "$clip.tmp.$ext" 2>"$clip.log" </dev/null || { cat "$clip.log" >&2; exit 1; }
    fi
    rm -f "$clip.log"
    mv "$clip.tmp.$ext" "$clip"
  fi
  clips+=("$clip")
done
[[ ${MAKE_ONLY:-0} == 1 ]] && exit 0

if [[ ${LEADIN:-0} == 1 ]]; then
  echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
  hyperfine --warmup 1 --runs "$runs" -n "first frame" "'$probe' 0 ${clips[*]} >/dev/null" \
    -n "auto scene" "'$probe' auto ${clips[*]} >/dev/null" --export-json "$corpus/leadin.json" >&2
  echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
  python3 - "$corpus/leadin.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
first, auto = r["first frame"]["median"], r["auto scene"]["median"]
print(f"first frame {first:.3f} s, auto scene {auto:.3f} s: {auto / first:.2f} times [<= 1.5]")
PY
  # The frame chosen: the first after the lead-in, at 2 s.
  "$probe" auto "${clips[@]}"
  exit 0
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
stamp=$(printf '00:00:%02d' "$second")

cores=$(nproc)
sequential="'$probe' $second ${clips[*]} >/dev/null"
parallel="'$probe' --jobs $cores $second ${clips[*]} >/dev/null"
batch_cmd="rm -rf $out/thumbs && mkdir $out/thumbs && '$batch' --config $out/config --quiet \
--set Output/Mode=1 --set Output/Path=$out/thumbs --set FileName/Mode=0 --set Image/Mode=0 --size 160x120 \
--scene $second ${clips[*]} >/dev/null"
ffmpeg_cmd="for c in ${clips[*]}; do ffmpeg -nostdin -loglevel error -ss $second -i \$c -frames:v 1 -y $out/ff.bmp; done"
thumb_cmd="for c in ${clips[*]}; do ffmpegthumbnailer -i \$c -o $out/th.png -s 0 -t $stamp >/dev/null 2>&1; done"

commands=("$sequential" "$parallel")
names=("mirelo capture, one clip at a time" "mirelo capture, $cores clips at a time")
if (( have_batch )); then
  commands+=("$batch_cmd")
  names+=("mirelo-batch, JPEG thumbnails")
fi
commands+=("$ffmpeg_cmd")
names+=("ffmpeg -ss (accurate seek)")
if (( have_thumbnailer )); then
  commands+=("$thumb_cmd")
  names+=("ffmpegthumbnailer (key frame)")
fi

args=()
for i in "${!commands[@]}"; do args+=(-n "${names[$i]}" "${commands[$i]}"); done
echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine --warmup 1 --runs "$runs" --export-json "$out/times.json" "${args[@]}" >&2
echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - "$out/times.json" "$container" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
by = {r["command"]: r for r in results}
print(f"{'tool (6 clips of 720p ' + sys.argv[2] + ', frame at the chosen second)':<52} {'median s':>9} {'CPU s':>7}")
for r in results:
    print(f"{r['command']:<52} {r['median']:>9.3f} {r['user'] + r['system']:>7.2f}")
ffmpeg = by["ffmpeg -ss (accurate seek)"]["median"]
thumb = by.get("ffmpegthumbnailer (key frame)")
for r in results:
    if not r["command"].startswith("mirelo"):
        continue
    line = f"{r['command']}: {ffmpeg / r['median']:.2f} times faster than ffmpeg -ss [>= 2.5]"
    if thumb:
        line += f", {r['median'] / thumb['median']:.2f} times ffmpegthumbnailer's time [<= 1.5]"
    print(line)
PY

# Which frame each tool returns for each clip: ours must be ffmpeg's accurate-seek frame, and
# the same bytes as a decode of every frame from the clip's start. ffmpeg converts with the same
# filter and rounding as we do, so the same frame gives "inf".
"$probe" --out "$out" "$second" "${clips[@]}" >/dev/null
mkdir "$out/full"
"$probe" --full --out "$out/full" "$second" "${clips[@]}" >/dev/null
psnr() {
  ffmpeg -nostdin -hide_banner -i "$1" -i "$2" -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" \
    -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([^ ]*\).*/\1/p'
}
for i in "${!clips[@]}"; do
  n=$((i + 1))
  ffmpeg -nostdin -loglevel error -ss "$second" -i "${clips[$i]}" -frames:v 1 \
    -vf "scale=flags=bicubic+accurate_rnd+full_chroma_int:out_range=pc,format=rgb24" -y "$out/ff$n.bmp"
  same=different
  cmp -s "$out/$n.ppm" "$out/full/$n.ppm" && same=identical
  line="clip $n: PSNR against ffmpeg -ss $(psnr "$out/$n.ppm" "$out/ff$n.bmp") dB (inf = identical); bytes $same to a full decode"
  if (( have_thumbnailer )); then
    ffmpegthumbnailer -i "${clips[$i]}" -o "$out/th.png" -s 0 -t "$stamp" >/dev/null 2>&1
    line+="; ffmpegthumbnailer $(psnr "$out/th.png" "$out/ff$n.bmp") dB"
  fi
  echo "$line"
done
