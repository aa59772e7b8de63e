#!/usr/bin/env bash
# Installs zentrabo-server into ~/.local, the program in ~/.local/bin: a
# command to type, and a login item that a rebuild or a clean leaves alone.
#   scripts/install.sh              builds the release configuration, then installs it
#   scripts/install.sh BUILD_TREE   installs that build tree as it is, without building
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix="$HOME/.local"
if [[ $# -gt 1 ]]; then
  echo "Usage: scripts/install.sh [BUILD_TREE]" >&2
  exit 2
fi
if [[ $# -eq 1 ]]; then
  tree=$1
  if [[ ! -f "$tree/CMakeCache.txt" ]]; then
    echo "install.sh: $tree is not a build tree (it has no CMakeCache.txt)" >&2
    exit 2
  fi
else
  "$root/scripts/install-deps.sh" run
  tree="$root/build/release"
  cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENTRABO_TESTS=OFF >/dev/null
  cmake --build "$tree" --target zentrabo-server
fi
cmake --install "$tree" --prefix "$prefix" --component server >/dev/null
echo "Installed $prefix/bin/zentrabo-server"
# The GNOME Shell extension that lists a GNOME Wayland session's windows for
# the server; the README says how to enable it.
extension_uuid=window-control@zentrabo.org
extension="$HOME/.local/share/gnome-shell/extensions/$extension_uuid"
rm -rf "$extension"
mkdir -p "$extension"
cp "$root/data/gnome-shell/extension/metadata.json" "$root/data/gnome-shell/extension/extension.js" "$extension/"
echo "Installed the GNOME Shell extension $extension_uuid (enable it on GNOME Wayland: see README)"
case ":$PATH:" in
  *":$prefix/bin:"*) ;;
  *) echo "$prefix/bin is not on PATH yet: Debian's default profile adds it at your next login, now that it exists." ;;
esac
echo "Start it with: zentrabo-server (then type login-item in it to start it at each login)"
