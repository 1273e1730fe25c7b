#!/bin/bash
# The package and the install under a prefix, as a user meets them: runs the
# command lines of the README's "Install the package" section as they stand,
# from the checkout, on the build folder scripts/start made. Checks what the
# package ships against the program's identity, validates its menu entry and
# software-centre data, starts the program installed by apt and the one
# installed under a prefix from their menu entries on a private X server,
# finds each window and ends it with File, Exit, and removes the package again
# (unless it was installed before).
# Usage: tests/e2e/install-package.sh   (needs root or sudo)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
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

# Block $1 of the README's "Install the package": its lines, comments cut.
readme_block() {
  awk -v want="$1" '/^## / { here = ($0 == "## Install the package") }
    here && /^```/ { if (!inside) n++; inside = !inside; next }
    here && inside && n == want { sub(/[ \t]+#.*$/, ""); print }' "$root/README.md"
}
# Runs each line from the checkout as typed: sudo only where it is needed,
# and apt answering its own questions.
printf 'APT::Get::Assume-Yes "true";\nDPkg::Lock::Timeout "300";\n' >"$scratch/apt.conf"
run_readme_block() {
  local line ran=0
  while IFS= read -r line; do
    [ "$(id -u)" -eq 0 ] && line=${line#sudo }
    echo "\$ $line"
    (cd "$root" && APT_CONFIG=$scratch/apt.conf DEBIAN_FRONTEND=noninteractive \
      bash -euo pipefail -c "$line") </dev/null >"$scratch/line.log" 2>&1 ||
      { cat "$scratch/line.log" >&2 && echo "FAIL: the README's line $line" >&2 && exit 1; }
    ran=$((ran + 1))
  done < <(readme_block "$1")
  [ "$ran" -gt 0 ] || { echo "FAIL: the README shows no block $1 to install with" >&2 && exit 1; }
}

# The identity as the program's source and build give it.
identity="$build/generated/vellumo_identity.h"
name=$(sed -n 's/^#define VELLUMO_NAME "\(.*\)"$/\1/p' "$identity")
description=$(sed -n 's/^#define VELLUMO_DESCRIPTION "\(.*\)"$/\1/p' "$identity")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$name" ] && [ -n "$description" ] && [ -n "$version" ] ||
  { echo "Cannot read the program's identity" >&2; exit 1; }

echo "== Build the package and install it with apt, as the README says"
dpkg-query -W -f='${Status}' vellumo 2>/dev/null | grep -q 'install ok installed' || installed_here=1
rm -f "$build"/vellumo_*.deb
run_readme_block 1
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

echo "== Installed by apt"
check "installed at its version" \
  same "$(dpkg-query -W -f='${Status} ${Version}' vellumo)" "install ok installed $version"
entry=/usr/share/applications/vellumo.desktop
check "menu entry where desktops look" test -f "$entry"
check "menu entry's command on the search path" \
  same "$(command -v "$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")")" /usr/bin/vellumo
check "menu entry's icon in the icon theme" \
  test -f "/usr/share/icons/hicolor/48x48/apps/$(sed -n 's/^Icon=//p' "$entry").png"

echo "== Start it from the menu"
check "the installed program starts from its menu entry, shows its window and ends" \
  "$root/tests/e2e/run-under-xvfb.sh" "$root/tests/e2e/start-from-menu.sh" "$entry" "$name" \
  /usr/bin/vellumo

echo "== Install under a prefix, as the README says, and start it from its menu entry"
# The README's ~ is a home of the test's own.
export HOME=$scratch/home
mkdir "$HOME"
run_readme_block 2
check "installed under the prefix" test -x "$HOME/.local/bin/vellumo"
check "the program under the prefix starts from its menu entry, shows its window and ends" \
  env PATH="$HOME/.local/bin:$PATH" "$root/tests/e2e/run-under-xvfb.sh" \
  "$root/tests/e2e/start-from-menu.sh" "$HOME/.local/share/applications/vellumo.desktop" \
  "$name" "$HOME/.local/bin/vellumo"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
