#!/usr/bin/env bash
# Installs the Debian packages that one use of the project needs:
#   scripts/install-deps.sh run    building and running the server (scripts/run.sh)
#   scripts/install-deps.sh test   that, and the tests, fuzzers and benchmarks (scripts/test.sh)
# Every package the project uses is listed here and nowhere else. Idempotent:
# when everything is present it changes nothing and asks no registry.
set -euo pipefail

run_packages=(
  # toolchain
  g++ cmake ninja-build pkg-config ccache
  # libraries the server links
  libasio-dev libssl-dev libsimdjson-dev libicu-dev
  libavahi-client-dev libplist-dev
  libpng-dev libjpeg62-turbo-dev libturbojpeg0-dev libtiff-dev libqrencode-dev libwebp-dev
  libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  # SVG application icons (librsvg renders them through Cairo, which serves
  # nothing else)
  librsvg2-dev
  # the accessibility trees of the session's applications, and the bus they
  # are read on
  libatspi2.0-dev at-spi2-core
  # applications started through the session bus (DBusActivatable entries)
  libdbus-1-dev
  # GIO: the session bus the accessibility switch is watched on, and the
  # desktop's settings (GSettings) the wallpaper is read from
  libglib2.0-dev
  # the X11 session's desktop: libxcb and its RandR, MIT-SHM, X-Resource,
  # Composite and XFixes parts
  libxcb1-dev libxcb-randr0-dev libxcb-shm0-dev libxcb-res0-dev libxcb-composite0-dev libxcb-xfixes0-dev
  # its input and keyboard layouts: XTest, XKB with libxkbcommon
  libxcb-xtest0-dev libxcb-xkb-dev libxkbcommon-x11-dev
  # the session's sound, heard through its sound server
  libpulse-dev
  # a GNOME Wayland session's screen, received as PipeWire video streams
  libpipewire-0.3-dev
  # the trust anchors the relay connection is verified against
  ca-certificates
  # the DNS-SD daemon that devices find the server through
  avahi-daemon
)

test_packages=(
  # fuzzers and the format check
  clang libclang-rt-14-dev clang-format
  # tests and benchmarks; zbar-tools reads the QR codes back as a camera would
  libgtest-dev libgmock-dev libbenchmark-dev zbar-tools openssl ffmpeg
  # the tests' private network namespace and its DNS-SD daemon
  iproute2 util-linux dbus-daemon dbus-bin avahi-utils
  # the X11 tests' desktop session: X server, window manager, and the tools
  # that witness what the server did (xrandr, xprop and xwininfo, xwd,
  # xdotool)
  xvfb openbox x11-xserver-utils x11-utils x11-apps xdotool
  # and the clipboard's and keyboard layout's witnesses (xclip, setxkbmap)
  xclip x11-xkb-utils
  # the tests' GTK application, run with Debian's own python3
  python3 python3-gi python3-gi-cairo gir1.2-gtk-3.0
  # the accessibility tree's witness (tests/support/accessibility_witness.py)
  gir1.2-atspi-2.0
  # a GTK program of others whose menus the X11 tests read and press
  gtk-3-examples
  # and a Qt editor of others (menus, shortcuts, modal dialogs, unsaved
  # work), and an X11 program without accessibility
  featherpad xterm
  # the test session's sound server (the test applications play their tones
  # to it through libpulse-simple, part of libpulse0)
  pulseaudio
  # the sound-continuity bench's recorder of that server's output (parec)
  pulseaudio-utils
  # the desktop settings' schemas the wallpaper tests set, and the session
  # bus tool that turns the accessibility switch as a witness (gdbus)
  gsettings-desktop-schemas libglib2.0-bin
  # the GNOME tests' headless Wayland session: the shell with its XWayland,
  # and PipeWire with its session manager and sound server (pw-dump, of
  # pipewire-bin, tells when the session manager runs)
  gnome-shell mutter xwayland pipewire pipewire-bin wireplumber pipewire-pulse
)

case "${1:-}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: scripts/install-deps.sh run|test" >&2
    exit 2
    ;;
esac

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
