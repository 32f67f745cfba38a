#!/usr/bin/env bash
# Installs the Debian packages Mirelo needs (only the missing ones), then configures and builds.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  # build
  g++ cmake ninja-build pkg-config
  # GUI and video preview
  qt6-base-dev qt6-base-dev-tools libgl-dev libmpv-dev
  # video probing and capture
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
  # imaging
  libjpeg62-turbo-dev libpng-dev libgif-dev libtiff-dev libimagequant-dev liblcms2-dev
  # today's stills: HEIC/HEIF and AVIF, WebP (also written), JPEG XL, camera RAW
  libheif-dev libavif-dev libwebp-dev libjxl-dev libraw-dev
  # tests, fuzzing, benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libaom-dev imagemagick clang libclang-rt-14-dev
  xvfb xauth x11-apps x11-utils libvips-tools ffmpegthumbnailer hyperfine time libjpeg-turbo-progs
  # GNU parallel: the several-processes recipe of the README, run as a test
  parallel
  # the new formats' own encoders and decoders, as independent references in tests
  libheif-examples webp libjxl-tools libavif-bin libraw-bin
  # desktop files, man pages and the Debian package: validators, dpkg-shlibdeps, groff, gio (Open With)
  desktop-file-utils appstream dpkg-dev groff-base libglib2.0-bin shared-mime-info
  # Japanese fonts for the interface
  fonts-ipafont-gothic fonts-noto-cjk qt6-translations-l10n
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${1:-build}
shift || true
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$build_dir"
