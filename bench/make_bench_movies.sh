#!/usr/bin/env bash
# Makes the benchmark movies with FFmpeg into $1: 4K HapY and Hap1 from the mandelbrot
# source (realistic detail) and, as an easy second case, from testsrc2. Each movie gets
# its video packet list beside it. Files already made are kept.
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
