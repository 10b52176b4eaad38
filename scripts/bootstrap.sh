#!/usr/bin/env bash
# Installs the Debian packages Vistrel needs that are missing, and nothing when all are present.
#   scripts/bootstrap.sh            build and run
#   scripts/bootstrap.sh --tests    … and what the test suite needs
#   scripts/bootstrap.sh --bench    … and what the benchmarks compare against
#   scripts/bootstrap.sh --package  … and what building and checking the Debian packages needs
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-svg-dev libjpeg62-turbo-dev libpng-dev zlib1g-dev
          libtiff-dev libv4l-dev libcurl4-openssl-dev libssl-dev libavformat-dev libavcodec-dev
          libswscale-dev libfontconfig-dev libfreetype-dev fonts-dejavu-core)
for arg in "$@"; do
  case "$arg" in
    --tests) packages+=(libgtest-dev libgmock-dev python3 python3-pyftpdlib python3-openssl
                        python3-pil libjpeg-turbo-progs clang-format-14 man-db groff-base systemd
                        openssh-client rclone python3-botocore
                        python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-plugins-base
                        gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
                        clang libclang-rt-14-dev
                        xvfb xauth openbox trayer xdotool python3-xlib) ;;
    --bench) packages+=(libbenchmark-dev fswebcam curl libgif-dev libjpeg-turbo-progs
                        python3-pyftpdlib python3-openssl python3-pil python3-gi
                        gir1.2-gst-rtsp-server-1.0 gstreamer1.0-plugins-base
                        gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly) ;;
    --package) packages+=(debhelper dpkg-dev devscripts fakeroot lintian systemd) ;;
    *) echo "bootstrap: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "bootstrap: need root or sudo to install ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
