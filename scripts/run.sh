#!/usr/bin/env bash
# Installs the dependencies, builds the player in Release and starts it on the given
# movie; without one it first makes a sample movie with FFmpeg in the build folder
# (10 s, 1920x1080, 25 fps, HapQ, a stereo 48 kHz PCM tone, a timecode track).
#   bash scripts/run.sh [movie.mov]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh

build="$root/build-release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTS=OFF -DBUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)" --target norvu_hap_player

movie="${1:-}"
if [ -z "$movie" ]; then
  movie="$build/sample/sample_hapq_1080p25.mov"
  if [ ! -s "$movie" ]; then
    mkdir -p "$build/sample"
    ffmpeg -nostdin -hide_banner -loglevel error -y \
      -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=10" \
      -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=10" \
      -f lavfi -i "sine=frequency=660:sample_rate=48000:duration=10" \
      -filter_complex "[1:a][2:a]join=inputs=2:channel_layout=stereo[a]" \
      -map 0:v -map "[a]" -c:v hap -format hap_q -chunks 8 -c:a pcm_s16le -timecode 10:00:00:00 \
      "$movie.tmp.mov"
    mv "$movie.tmp.mov" "$movie"
  fi
fi

exec "$build/app/main/norvu_hap_player" "$movie"
