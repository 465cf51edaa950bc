#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need, when any is missing.
# Usage: scripts/install-deps.sh [build|test|bench|browser|package]...
set -euo pipefail

packages=(cmake ninja-build g++ clang-14 libclang-rt-14-dev googletest libgtest-dev libgmock-dev
          qt6-base-dev libgl-dev zlib1g-dev pkg-config libfprint-2-dev libglib2.0-dev python3
          python3-websockets locales)
for what in "$@"; do
  case "$what" in
    build) ;;
    # umockdev replays the recorded USB readers the tests drive through their real drivers; the
    # window is tried on an X server with Qt's GTK theme installed, as on a GNOME desktop.
    test) packages+=(umockdev xvfb qt6-gtk-platformtheme) ;;
    bench) packages+=(libbenchmark-dev rapidjson-dev libboost-dev liburing-dev linux-perf valgrind) ;;
    browser) packages+=(chromium nodejs npm) ;;
    # Building and checking the Debian package; libfprint's hwdb lists the readers for the udev rule.
    package) packages+=(dpkg-dev file fakeroot lintian desktop-file-utils appstream libfprint-2-2) ;;
    *) echo "install-deps: unknown group '$what'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# Node and npm may come from outside Debian's packages; a working command is enough.
if [[ " ${missing[*]} " == *" nodejs "* ]] && command -v node >/dev/null; then
  missing=("${missing[@]/nodejs}")
fi
if [[ " ${missing[*]} " == *" npm "* ]] && command -v npm >/dev/null; then
  missing=("${missing[@]/npm}")
fi
read -r -a missing <<< "${missing[*]}"

# The JSON tests check number formatting under a decimal-comma locale.
make_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && [[ $(id -u) -eq 0 ]]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null || true
  fi
}
if [[ ${#missing[@]} -eq 0 ]]; then
  make_locale
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: missing packages; run as root:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
make_locale
