#!/bin/bash
# The package as a user meets it: builds the .deb from a build folder, checks
# what it ships against the program's identity, validates its menu entry and
# software-centre data, installs it with apt, starts the installed program
# from its menu entry on a private X server, finds its window, ends it with
# File, Exit, and removes the package again (unless it was installed before).
# Usage: tests/e2e/install-package.sh BUILD_FOLDER   (needs root or sudo)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_FOLDER}" && pwd)
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
scratch=$(mktemp -d)
installed_here=0
passed=0
failed=0

cleanup() {
  if [ "$installed_here" = 1 ]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q \
      -o DPkg::Lock::Timeout=300 vellumo >/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

check() {
  local what=$1
  shift
  if "$@"; then
    echo "PASS: $what"
    passed=$((passed + 1))
  else
    echo "FAIL: $what" >&2
    failed=$((failed + 1))
  fi
}
same() { [ "$1" = "$2" ] || { echo "  got \"$1\", expected \"$2\"" >&2 && false; }; }
png_size() { file -b "$1" | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1x\2/p'; }

# The identity as the program's source and build give it.
identity="$build/generated/vellumo_identity.h"
name=$(sed -n 's/^#define VELLUMO_NAME "\(.*\)"$/\1/p' "$identity")
description=$(sed -n 's/^#define VELLUMO_DESCRIPTION "\(.*\)"$/\1/p' "$identity")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$name" ] && [ -n "$description" ] && [ -n "$version" ] ||
  { echo "Cannot read the program's identity" >&2; exit 1; }

echo "== Build the package"
rm -f "$build"/vellumo_*.deb
(cd "$build" && cpack -G DEB >"$scratch/cpack.log") || { cat "$scratch/cpack.log" >&2; exit 1; }
deb="$build/vellumo_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$build"/*.deb >&2; echo "No $deb" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
check "package name" same "$(field Package)" vellumo
check "package version is the program's" same "$(field Version)" "$version"
check "package synopsis is the program's description" \
  same "$(field Description | head -n1)" "$description"
check "dependencies worked out from the program's libraries" \
  grep -q 'libqt6widgets6 (>=' <<<"$(field Depends)"
check "Qt's Wayland platform comes with it" same "$(field Recommends)" qt6-wayland

echo "== What it ships"
dpkg-deb -x "$deb" "$scratch/root"
share="$scratch/root/usr/share"
desktop="$share/applications/vellumo.desktop"
metainfo=$(ls "$share"/metainfo/*.metainfo.xml)
check "desktop entry is valid" desktop-file-validate "$desktop"
check "AppStream metainfo is valid" appstreamcli validate --no-net "$metainfo"
check "menu entry names the program" same "$(sed -n 's/^Name=//p' "$desktop")" "$name"
check "menu entry describes it" same "$(sed -n 's/^Comment=//p' "$desktop")" "$description"
check "metainfo releases this version" grep -q "<release version=\"$version\"" "$metainfo"
check "metainfo refers to a screenshot" grep -q '<image>https://.*\.png</image>' "$metainfo"
for size in 16 32 48 64 128 256; do
  check "${size} pixel icon" same \
    "$(png_size "$share/icons/hicolor/${size}x${size}/apps/vellumo.png")" "${size}x${size}"
done
check "scalable icon" grep -q '<svg' "$share/icons/hicolor/scalable/apps/vellumo.svg"
# The window shows the same pictures as the menu.
for size in 16 32 64 128; do
  check "${size} pixel icon is the window's own" \
    cmp -s "$share/icons/hicolor/${size}x${size}/apps/vellumo.png" "$root/assets/vellumo-$size.png"
done

echo "== Install with apt"
dpkg-query -W -f='${Status}' vellumo 2>/dev/null | grep -q 'install ok installed' || installed_here=1
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall \
  -o DPkg::Lock::Timeout=300 "$deb" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log" >&2; exit 1; }
check "installed at its version" \
  same "$(dpkg-query -W -f='${Status} ${Version}' vellumo)" "install ok installed $version"
entry=/usr/share/applications/vellumo.desktop
check "menu entry where desktops look" test -f "$entry"
check "menu entry's command on the search path" \
  same "$(command -v "$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")")" /usr/bin/vellumo
check "menu entry's icon in the icon theme" \
  test -f "/usr/share/icons/hicolor/48x48/apps/$(sed -n 's/^Icon=//p' "$entry").png"

echo "== Start it from the menu"
# As a desktop's menu does: launch the entry, then find the window by the
# class the entry names.
cat >"$scratch/start.sh" <<'EOF'
set -euo pipefail
entry=$1 title=$2
gio launch "$entry"
window=
for _ in $(seq 150); do
  window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "  no window \"$title\"" >&2; exit 1; }
pid=$(xprop -id "$window" _NET_WM_PID | sed -n 's/.* = //p')
[ "$(readlink "/proc/$pid/exe")" = /usr/bin/vellumo ] || { echo "  not the installed program" >&2; exit 1; }
class=$(sed -n 's/^StartupWMClass=//p' "$entry")
xprop -id "$window" WM_CLASS | grep -q "\"$class\"" || { echo "  WM_CLASS is not $class" >&2; exit 1; }
# Qt may give the icon a moment after the window shows.
for _ in $(seq 30); do
  xprop -id "$window" _NET_WM_ICON | grep -q 'Icon (32 x 32)' && break
  sleep 0.1
done
xprop -id "$window" _NET_WM_ICON | grep -q 'Icon (32 x 32)' || { echo "  no icon" >&2; exit 1; }
# File, Exit, and Enter for Yes.
xdotool windowfocus --sync "$window"
sleep 0.3
xdotool key alt+f
sleep 0.5
xdotool key e
for _ in $(seq 100); do
  xdotool search --onlyvisible --name '^Quit\?$' >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool key Return
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || exit 0
  sleep 0.1
done
echo "  the program did not end" >&2
kill "$pid"
exit 1
EOF
check "the installed program starts from its menu entry, shows its window and ends" \
  "$root/tests/e2e/run-under-xvfb.sh" bash "$scratch/start.sh" "$entry" "$name"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
