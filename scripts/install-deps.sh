#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run the
# demo. Does nothing when they are all present already.
#
#   scripts/install-deps.sh              what the build, the suites and the demo need
#   scripts/install-deps.sh --desktops   and the real desktop shells of the desktop
#                                        matrix (scripts/test.sh --desktops)
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # one compile serves every build folder (the test, sanitizer, portable and
  # release builds share most of their sources)
  ccache
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-httpserver-dev
  # translations (LinguistTools: lupdate, lrelease)
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  qtkeychain-qt6-dev qcoro-qt6-dev nlohmann-json3-dev
  # static checks of the sources with Qt's own rules (scripts/clazy.sh)
  clazy
  # the X11 system tray's colours, read for the tray icon
  libxcb1-dev
  # libFuzzer builds of the decoders (scripts/fuzz.sh)
  clang-14 libclang-rt-14-dev
  # QtKeychain loads libsecret at run time without depending on it
  libsecret-1-0
  # headless desktop for the tests and the demo
  xvfb xauth x11-utils trayer openbox xdotool imagemagick
  dbus dbus-x11 gnome-keyring libsecret-tools dunst libnotify-bin libglib2.0-bin
  curl jq openssl fonts-dejavu-core
  # bench/run.sh: the signals a program subscribes to on the bus (busctl)
  systemd
  # the accessibility bus and a reader of its tree (tests/e2e/accessibility.py)
  at-spi2-core python3-pyatspi
  # the Debian package (scripts/package.sh) and its checks
  dpkg-dev fakeroot file lintian appstream desktop-file-utils
  # the signed apt repository (scripts/apt-repo.sh) and its test
  apt-utils gnupg xz-utils
)

# The desktop matrix (tests/e2e/desktops/): XFCE, sway with waybar and mako,
# GNOME Shell with the AppIndicator extension, KDE Plasma on X11 with its
# wallet. gjs is only recommended by gnome-shell, but serves its notifications.
desktop_shells=(
  xfwm4 xfce4-panel xfce4-notifyd xfconf
  sway waybar mako-notifier grim xwayland wtype qt6-wayland
  gnome-shell gnome-shell-extension-appindicator gjs
  kwin-x11 plasma-workspace plasma-desktop libkf5wallet-bin qdbus-qt5
  iproute2 util-linux
)
case "${1:-}" in
  "") ;;
  --desktops) packages+=("${desktop_shells[@]}") ;;
  *) echo "usage: $0 [--desktops]" >&2; exit 64 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Other builds on the machine may be installing too: wait for their lock.
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 update -qq
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
