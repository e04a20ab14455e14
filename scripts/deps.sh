#!/usr/bin/env bash
# Installs every Debian package Papelo needs to build, test and run.
# Only missing packages are installed; sudo is used only when not root.
# --bench also installs what only the benchmarks use (bench/bench_startup
# compares the reader with Debian's Chromium, bench/bench_server loads the
# server and nginx with wrk).
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
  # the server's password hashing (PBKDF2 through OpenSSL's libcrypto)
  libssl-dev
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
  # a private X server for the tests that need a desktop platform (a mailto:
  # link handed to xdg-open; the accessibility test on the real bus), the
  # accessibility bus and registry, and a client in Debian's Python
  xvfb xauth at-spi2-core gir1.2-atspi-2.0 python3-gi
  # fonts: Chinese text and the icon ligatures
  fonts-noto-cjk fonts-material-design-icons-iconfont
  # packages (make package, ctest, CI): dpkg-shlibdeps and the package check
  dpkg-dev lintian
  # the service unit's checks (systemd-analyze verify / security, syscall
  # filter) and the system calls the server really makes (strace)
  systemd strace
  # the reverse-proxy and TLS tests: nginx run as a process of the test's own
  # (its service is never started, see below), a throwaway CA (openssl) and
  # the web engine's certificate store under a temporary home (certutil)
  nginx openssl libnss3-tools
)
BENCH_PACKAGES=(chromium wrk)
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

# Installing nginx (or anything else with a service) must never start that
# service, and a freshly installed nginx must not start at boot either: only
# a process of the tests' own ever runs it.
. "$(dirname "$0")/service-guard.sh"
trap release_services EXIT
hold_services
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
for p in "${missing[@]}"; do
  if [ "$p" = nginx ]; then
    $SUDO deb-systemd-helper disable nginx.service >/dev/null 2>&1 || true
    $SUDO update-rc.d nginx disable >/dev/null 2>&1 || true
  fi
done
