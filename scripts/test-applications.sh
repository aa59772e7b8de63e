# Sourced by scripts/test-session.sh: the test applications of ours installed
# as desktop entries for the X11 tests, on the session's private tmpfs.
#
# $ZENTRABO_TEST_APPLICATIONS/share (first in XDG_DATA_DIRS) holds
#   applications/org.zentrabo.TestApp.desktop   a window "Main", a PNG icon
#   applications/org.zentrabo.TestApp2.desktop  a window "Second", an SVG icon,
#       an Exec of quotes, field codes and shell characters (its argv is
#       what the tests expect, see tests/x11)
#   applications/org.zentrabo.MenuApp.desktop   a window "Letter" at 100,100
#       with the test application's menus and their dialog
#   applications/org.zentrabo.HiddenApp.desktop Hidden: never listed
#   applications/org.zentrabo.UrlRecorder.desktop and FileRecorder.desktop
#       (NoDisplay): the handlers of the URL scheme "zentrabo-test" and of
#       files "*.zentrabotest" (application/x-zentrabo-test); they report
#       their argv and end
#   icons/hicolor/{128x128,scalable}/apps, mime/globs2
# $ZENTRABO_TEST_APPLICATIONS/config (XDG_CONFIG_DIRS) holds mimeapps.list.
# Every application reports (test application JSON lines, appended) to
# $ZENTRABO_TEST_APPLICATIONS/reports/<desktop file ID without .desktop>.jsonl.

# install_test_applications <source root>
install_test_applications() {
  local source="$1" root="$XDG_RUNTIME_DIR/test-applications"
  local share="$root/share" reports="$root/reports"
  local app="/usr/bin/python3 -B $source/tests/fixtures/test_application/main.py"
  mkdir -p "$share/applications" "$share/icons/hicolor/128x128/apps" "$share/icons/hicolor/scalable/apps" \
           "$share/mime" "$root/config" "$reports"

  # entry <ID without .desktop> <Name> <Exec's arguments after the report> [<more lines>]
  entry() {
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s --report %s %s\n%s' \
      "$2" "$app" "$reports/$1.jsonl" "$3" "${4:-}" >"$share/applications/$1.desktop"
  }
  entry org.zentrabo.TestApp "Zentrabo Test App" "--window name=Main,size=420x300" \
    $'Name[de]=Zentrabo Testprogramm\nIcon=org.zentrabo.TestApp\n'
  # After the value escapes and the quoting rules the trailing arguments are:
  # "two words", 'quote " inside', "$HOME", ";|&<>", "100%", the name, the
  # entry's path, "--icon" and the icon.
  entry org.zentrabo.TestApp2 "Zentrabo Second App" \
    '--application-id org.zentrabo.TestApp2 --window name=Second,size=360x240 -- "two words" "quote \\" inside" "\\$HOME" ;|&<> 100%% %c %k %i' \
    $'Icon=org.zentrabo.TestApp2\n'
  entry org.zentrabo.MenuApp "Zentrabo Menu App" \
    "--application-id org.zentrabo.MenuApp --window name=Letter,size=400x300,at=100+100,menus=yes"
  entry org.zentrabo.HiddenApp "Zentrabo Hidden App" "--window name=Hidden,size=200x200" $'Hidden=true\n'
  entry org.zentrabo.UrlRecorder "Zentrabo URL Recorder" "--application-id org.zentrabo.UrlRecorder -- %u" \
    $'NoDisplay=true\nMimeType=x-scheme-handler/zentrabo-test;\n'
  entry org.zentrabo.FileRecorder "Zentrabo File Recorder" "--application-id org.zentrabo.FileRecorder -- %f" \
    $'NoDisplay=true\n'
  cat >"$root/config/mimeapps.list" <<LIST
[Default Applications]
x-scheme-handler/zentrabo-test=org.zentrabo.UrlRecorder.desktop
application/x-zentrabo-test=org.zentrabo.FileRecorder.desktop
LIST
  echo "50:application/x-zentrabo-test:*.zentrabotest" >"$share/mime/globs2"

  cat >"$share/icons/hicolor/index.theme" <<THEME
[Icon Theme]
Name=Hicolor
Directories=128x128/apps,scalable/apps

[128x128/apps]
Size=128
Type=Fixed

[scalable/apps]
Size=128
MinSize=8
MaxSize=512
Type=Scalable
THEME
  # A 128 x 128 PNG: an orange square on a transparent margin of 16 pixels.
  /usr/bin/python3 - "$share/icons/hicolor/128x128/apps/org.zentrabo.TestApp.png" <<'PYTHON'
import struct, sys, zlib
size, margin = 128, 16
rows = b"".join(b"\0" + b"".join(b"\xff\x80\x00\xff" if margin <= x < size - margin and margin <= y < size - margin
                                 else b"\0\0\0\0" for x in range(size)) for y in range(size))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
with open(sys.argv[1], "wb") as png:
    png.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
              + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PYTHON
  cat >"$share/icons/hicolor/scalable/apps/org.zentrabo.TestApp2.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <circle cx="32" cy="32" r="28" fill="#1060e0"/>
</svg>
SVG

  export XDG_DATA_DIRS="$share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
  export XDG_CONFIG_DIRS="$root/config:${XDG_CONFIG_DIRS:-/etc/xdg}"
  export ZENTRABO_TEST_APPLICATIONS="$root"
}
