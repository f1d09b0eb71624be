#!/usr/bin/env bash
# Installs every Debian package Vessa needs to build, run, test and benchmark.
# Idempotent: packages already present are skipped, and the package lists are
# refreshed only when something is missing.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-l10n-tools libgl-dev libqt6svg6 adwaita-icon-theme
    libsdl2-dev
    libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
    libgme-dev libmikmod-dev libzip-dev libsqlite3-dev zlib1g-dev
    libbenchmark-dev clang-format python3
    clang libclang-rt-14-dev
    xvfb xauth dbus dbus-x11 playerctl desktop-file-utils shared-mime-info libxcb1-dev
    ffmpeg zip sox
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
