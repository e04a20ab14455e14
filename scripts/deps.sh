#!/usr/bin/env bash
# Installs every Debian package Papelo needs to build, test and run.
# Only missing packages are installed; sudo is used only when not root.
# --bench also installs what only the benchmarks use (bench/bench_startup
# compares the reader with Debian's Chromium).
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build ccache pkg-config
  # fuzzing (make fuzz, CI): clang with the libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # Qt 6.4 and QCoro
  qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools
  qt6-webengine-dev qt6-httpserver-dev libqt6sql6-sqlite libqt6svg6
  qcoro-qt6-dev
  # sign-in token in the desktop keychain (QtKeychain loads libsecret at run time)
  qtkeychain-qt6-dev libsecret-1-0
  # QML modules loaded at run time
  qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtqml-models
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-templates qml6-module-qtquick-window
  qml6-module-qtwebengine qml6-module-qttest
  # AppStream metadata check
  appstream
  # screenshots script (demo sign-in through the API)
  curl python3
  # private session bus for the desktop-portal and keychain tests, with a
  # headless Secret Service and its command-line client
  dbus-daemon gnome-keyring libsecret-tools
  # the accessibility test on the real bus: an X server of its own, the
  # accessibility bus and registry, and a client in Debian's Python
  xvfb xauth at-spi2-core gir1.2-atspi-2.0 python3-gi
  # fonts: Chinese text and the icon ligatures
  fonts-noto-cjk fonts-material-design-icons-iconfont
)
BENCH_PACKAGES=(chromium)
if [ "${1:-}" = --bench ]; then
  PACKAGES+=("${BENCH_PACKAGES[@]}")
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "deps: installing ${missing[*]}"
if [ "${PAPELO_APT_UPDATE:-0}" = 1 ] || [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v lock)" ]; then
  $SUDO apt-get update
fi
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
