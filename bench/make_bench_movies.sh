#!/usr/bin/env bash
# Makes the benchmark movies with FFmpeg into $1: 4K HapY and Hap1 from the mandelbrot
# source (realistic detail) and, as an easy second case, from testsrc2; 8K HapY from
# mandelbrot, chunked and in one chunk. Each movie gets its video packet list beside it.
# Files already made are kept.
set -euo pipefail
out="$1"
mkdir -p "$out"

make_movie() {
  local name="$1" source="$2"; shift 2
  local movie="$out/$name.mov"
  if [ ! -s "$movie" ] || [ ! -s "$out/$name.packets" ]; then
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "$source" -t 1 "$@" "$movie.tmp.mov"
    mv "$movie.tmp.mov" "$movie"
    ffprobe -v error -select_streams v:0 -show_entries packet=pos,size -of compact=p=0 "$movie" > "$out/$name.packets"
  fi
}

make_movie mandelbrot_hapq_4k "mandelbrot=size=3840x2160:rate=25" -c:v hap -format hap_q -chunks 8
make_movie mandelbrot_hap1_4k "mandelbrot=size=3840x2160:rate=25" -c:v hap -format hap -chunks 8
make_movie testsrc2_hapq_4k "testsrc2=size=3840x2160:rate=25" -c:v hap -format hap_q -chunks 8
make_movie testsrc2_hap1_4k "testsrc2=size=3840x2160:rate=25" -c:v hap -format hap -chunks 8
# The read-ahead benchmark's 8K case (its 4K case is mandelbrot_hapq_4k), 16 chunks as
# 8K encodes are cut finer. The mandelbrot source cannot render 8K at once: four 4K views
# of it (the whole set and three zooms into its edge) are stacked two by two.
mandelbrot_8k="mandelbrot=s=3840x2160:r=25[a];\
mandelbrot=s=3840x2160:r=25:start_x=-0.743643887037151:start_y=0.131825904205330:start_scale=0.5[b];\
mandelbrot=s=3840x2160:r=25:start_x=-0.16:start_y=1.0405:start_scale=0.4[c];\
mandelbrot=s=3840x2160:r=25:start_x=-1.25066:start_y=0.02012:start_scale=0.3[d];\
[a][b]hstack[t];[c][d]hstack[u];[t][u]vstack"
make_movie mandelbrot_hapq_8k "$mandelbrot_8k" -c:v hap -format hap_q -chunks 16
# The same 4K and 8K pictures in one chunk per frame, as FFmpeg writes HAP unless told
# otherwise: each frame decodes on one core.
make_movie mandelbrot_hapq_4k_c1 "mandelbrot=size=3840x2160:rate=25" -c:v hap -format hap_q -chunks 1
make_movie mandelbrot_hapq_8k_c1 "$mandelbrot_8k" -c:v hap -format hap_q -chunks 1

# The player's start and playback: 1080p HapQ at 25 fps (2 s) and at 60 fps (25 s).
make_long_movie() {
  local name="$1" seconds="$2" source="$3"; shift 3
  local movie="$out/$name.mov"
  if [ ! -s "$movie" ]; then
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "$source" -t "$seconds" "$@" "$movie.tmp.mov"
    mv "$movie.tmp.mov" "$movie"
  fi
}
make_long_movie testsrc2_hapq_1080p25 2 "testsrc2=size=1920x1080:rate=25" -c:v hap -format hap_q -chunks 8
make_long_movie testsrc2_hapq_1080p60 25 "testsrc2=size=1920x1080:rate=60" -c:v hap -format hap_q -chunks 8

# The file test on a two-hour movie of small frames: 64x64 Hap1 at 25 fps, 180,000 frames.
make_long_movie testsrc2_hap1_64x64_2h 7200 "testsrc2=size=64x64:rate=25" -c:v hap -format hap
# The file test on 750 frames of 4K HapQ: the one-second mandelbrot movie played 30 times
# over, copied without re-encoding (rendering 750 mandelbrot frames at 4K takes minutes).
if [ ! -s "$out/mandelbrot_hapq_4k_750.mov" ]; then
  ffmpeg -nostdin -hide_banner -loglevel error -y -stream_loop 29 -i "$out/mandelbrot_hapq_4k.mov" \
    -c copy "$out/mandelbrot_hapq_4k_750.mov.tmp.mov"
  mv "$out/mandelbrot_hapq_4k_750.mov.tmp.mov" "$out/mandelbrot_hapq_4k_750.mov"
fi
