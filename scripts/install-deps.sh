#!/usr/bin/env bash
# Installs the Debian 12 packages Beamwick needs to build, run and test. Idempotent and quiet:
# it only calls apt when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
    libpulse-dev libsystemd-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev librapidcheck-dev
    pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber sox dbus dbus-x11
    python3-dbusmock
    xvfb x11-apps x11-utils imagemagick trayer umockdev libumockdev-dev gir1.2-umockdev-1.0 python3-gi
    libxcb1-dev weston qt6-wayland appstream desktop-file-utils
    cava upower
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi
