#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the viewer need (Debian 12).
set -euo pipefail
PACKAGES=(
  cmake ninja-build g++ pkg-config file
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n libcups2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang llvm libclang-rt-14-dev
  cups cups-client printer-driver-cups-pdf poppler-utils qpdf
  xvfb xauth fonts-liberation fonts-dejavu-core fonts-symbola openbox xdotool x11-utils
  xdg-utils shared-mime-info desktop-file-utils dpkg-dev
  python3-numpy python3-pil
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
