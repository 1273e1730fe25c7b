# Installs the Debian packages named in $@ that are not installed yet.
# Sourced by the start and test scripts.
install_missing() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins libgl-dev libcups2-dev fonts-dejavu-core)
# Qt's platform for Wayland desktops, which it picks there over X11.
BUILD_PACKAGES+=(qt6-wayland)
# The registry reader is also built for Windows and run under Wine.
TEST_PACKAGES=(g++-mingw-w64-x86-64 wine64)
# The real program under Xvfb, and its Debian package: built, validated, installed and started.
TEST_PACKAGES+=(xvfb xdotool x11-utils desktop-file-utils appstream dpkg-dev file libglib2.0-bin)
# The benchmark's quick run watches the window over an X connection of its own.
TEST_PACKAGES+=(libxcb1-dev)
# The program driven through its accessibility tree over a private AT-SPI bus, on Wayland.
TEST_PACKAGES+=(dbus at-spi2-core python3-pyatspi)
# Fuzzing with libFuzzer; small file system images for the full-disk faults.
TEST_PACKAGES+=(clang-14 libclang-rt-14-dev e2fsprogs mount)
# The program on a headless Wayland compositor, driven through its accessibility tree (above).
TEST_PACKAGES+=(weston)
# The real program once more under a window manager, which wmctrl asks to act.
TEST_PACKAGES+=(openbox wmctrl)
# Saves on a FUSE mount, which has no unnamed temporary files, as network shares and phones.
TEST_PACKAGES+=(bindfs)
