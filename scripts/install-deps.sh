#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the server need.
# Idempotent: when everything is present it changes nothing and asks no registry.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config ccache clang libclang-rt-14-dev clang-format
  # libraries the server links
  libasio-dev libssl-dev libsimdjson-dev libicu-dev
  libavahi-compat-libdnssd-dev libplist-dev
  libpng-dev libjpeg62-turbo-dev libturbojpeg0-dev libtiff-dev libqrencode-dev
  libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  # the trust anchors the relay connection is verified against
  ca-certificates
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev zbar-tools openssl ffmpeg
  # the tests' private network namespace and its DNS-SD daemon
  iproute2 util-linux dbus-daemon dbus-bin avahi-daemon avahi-utils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
