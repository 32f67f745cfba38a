#!/usr/bin/env bash
# Times the capture of the exact frame at a chosen second against ffmpeg's own accurate seek
# (ffmpeg -ss T -i clip -frames:v 1) and against ffmpegthumbnailer (nearest key frame only).
#
#   bench/video_capture_bench.sh [BUILD_DIR]
#
# BUILD_DIR holds src/platform/video/mirelo_capture_probe (default: build). The clips (six of
# 1280x720, 30 fps, 20 s, H.264 in FLV with a key frame index, GOP 250; MPEG-4 part 2 in AVI when
# libx264 is missing) are made once in $VIDEO_BENCH_DIR (default: build/bench-video). Set
# SECOND to change the position (default 15) and RUNS the number of timed runs (default 5).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
probe=$build/src/platform/video/mirelo_capture_probe
corpus=${VIDEO_BENCH_DIR:-$build/bench-video}
second=${SECOND:-15}
runs=${RUNS:-5}

if [[ ! -x $probe ]]; then
  echo "missing $probe: cmake --build $build --target mirelo_capture_probe" >&2
  exit 2
fi
for tool in ffmpeg ffprobe hyperfine; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done
have_thumbnailer=0
command -v ffmpegthumbnailer >/dev/null && have_thumbnailer=1

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
if [[ $encoders == *libx264* ]]; then
  codec=(-c:v libx264 -preset veryfast -crf 23 -g 250 -pix_fmt yuv420p -flvflags add_keyframe_index)
  ext=flv
else
  codec=(-c:v mpeg4 -q:v 4 -g 250)
  ext=avi
fi

mkdir -p "$corpus"
clips=()
for i in "${!sources[@]}"; do
  clip=$corpus/clip$((i + 1)).$ext
  if [[ ! -s $clip ]]; then
    echo "making $clip" >&2
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "${sources[$i]}" -t 20 "${tag[@]}" "${codec[@]}" \
      "$clip.tmp.$ext"
    mv "$clip.tmp.$ext" "$clip"
  fi
  clips+=("$clip")
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
stamp=$(printf '00:00:%02d' "$second")

ours="'$probe' $second ${clips[*]} >/dev/null"
ffmpeg_cmd="for c in ${clips[*]}; do ffmpeg -nostdin -loglevel error -ss $second -i \$c -frames:v 1 -y $out/ff.bmp; done"
thumb_cmd="for c in ${clips[*]}; do ffmpegthumbnailer -i \$c -o $out/th.png -s 0 -t $stamp >/dev/null 2>&1; done"

commands=("$ours" "$ffmpeg_cmd")
names=("mirelo capture (one process)" "ffmpeg -ss (accurate seek)")
if (( have_thumbnailer )); then
  commands+=("$thumb_cmd")
  names+=("ffmpegthumbnailer (key frame)")
fi

args=()
for i in "${!commands[@]}"; do args+=(-n "${names[$i]}" "${commands[$i]}"); done
hyperfine --warmup 1 --runs "$runs" --export-json "$out/times.json" "${args[@]}" >&2

python3 - "$out/times.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
base = results[0]["median"]
print(f"{'tool (6 clips of 720p, frame at the chosen second)':<52} {'median s':>9} {'ratio':>7}")
for r in results:
    print(f"{r['command']:<52} {r['median']:>9.3f} {r['median'] / base:>7.2f}")
PY

# Which frame each tool returns for the first clip: ours must be ffmpeg's accurate-seek frame.
# ffmpeg converts with the same filter and rounding as we do, so the same frame gives "inf".
"$probe" --out "$out" "$second" "${clips[0]}" >/dev/null
ffmpeg -nostdin -loglevel error -ss "$second" -i "${clips[0]}" -frames:v 1 \
  -vf "scale=flags=bicubic+accurate_rnd+full_chroma_int:out_range=pc,format=rgb24" -y "$out/ff.bmp"
psnr() {
  ffmpeg -nostdin -hide_banner -i "$1" -i "$2" -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" \
    -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([^ ]*\).*/\1/p'
}
echo "PSNR of our frame against ffmpeg -ss: $(psnr "$out/1.ppm" "$out/ff.bmp") dB (inf = identical)"
if (( have_thumbnailer )); then
  ffmpegthumbnailer -i "${clips[0]}" -o "$out/th.png" -s 0 -t "$stamp" >/dev/null 2>&1
  echo "PSNR of ffmpegthumbnailer's frame against ffmpeg -ss: $(psnr "$out/th.png" "$out/ff.bmp") dB"
fi
