#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the player needs.
# Idempotent: packages already present are skipped, so a second run costs no download.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config git python3
  # Qt 6 (Core, Gui with Vulkan, Widgets, Concurrent, Test)
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
  # Qt SVG: renders the UI pictures at build time
  qt6-svg-dev
  # Vulkan: headers, loader, Mesa's drivers (lavapipe), validation, shader tools
  libvulkan-dev vulkan-tools mesa-vulkan-drivers vulkan-validationlayers glslc spirv-tools
  # audio
  libsoundio-dev libsamplerate0-dev libebur128-dev
  # PulseAudio's client library: the sound server is asked before the library connects
  libpulse-dev
  # ALSA's client library: what a plug device has behind it, which the audio library does not tell
  libasound2-dev
  # ALSA's rate converters beyond its own (speexrate, samplerate), which chains people write name
  libasound2-plugins
  # aplay: the tests play each ALSA chain with it first, so a chain this machine cannot play is told apart
  alsa-utils
  # codecs and images
  libsnappy-dev libzimg-dev libturbojpeg0-dev libpng-dev zlib1g-dev
  # threading
  libtbb-dev
  # fonts
  fonts-roboto
  # tests and benchmarks
  xvfb xauth ffmpeg libgtest-dev libgmock-dev libbenchmark-dev
  # a real sound server of the tests' own, and its recorder
  pulseaudio pulseaudio-utils
  # the other sound server of the tests' own: PipeWire with its PulseAudio server, on a private session bus
  pipewire pipewire-pulse wireplumber dbus-daemon
  # a JACK server of the tests' own (jackd2's dummy driver), its tools, and the client library its recorder uses
  jackd2 jack-capture libjack-jackd2-dev
  # loads the machine by hand, to see timed tests tell the fault apart on a busy machine
  stress-ng
  # types keys into the window of a player the tests run as a process of its own
  xdotool
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
