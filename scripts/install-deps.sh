#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the viewer need (Debian 12).
# Says in one line what it does. When another package manager holds the package lock,
# it says so and waits for it (up to LOCK_WAIT seconds, 600 by default) instead of
# failing at once.
set -euo pipefail
PACKAGES=(
  cmake ninja-build g++ pkg-config file
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n libcups2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang llvm libclang-rt-14-dev
  cups cups-client printer-driver-cups-pdf poppler-utils qpdf
  xvfb xauth fonts-liberation fonts-dejavu-core fonts-symbola openbox xdotool x11-utils
  xdg-utils shared-mime-info desktop-file-utils appstream dpkg-dev
  python3-numpy python3-pil
)
LOCK_WAIT=${LOCK_WAIT:-600}

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "packages: all ${#PACKAGES[@]} needed packages are installed"
  exit 0
fi

# Runs apt-get with the given arguments. apt-get waits a few seconds for a held lock
# itself (DPkg::Lock::Timeout); when another package manager keeps it longer, this
# says so once and tries again every few seconds, up to LOCK_WAIT seconds in all.
apt_get() {
  local log status holder waited=0
  log=$(mktemp)
  while true; do
    set +e
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=5 "$@" 2>&1 | tee "$log" |
      grep -v -e 'Could not get lock' -e 'Unable to acquire the dpkg' -e 'Unable to lock'
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -eq 0 ] || ! grep -q 'Could not get lock' "$log"; then
      rm -f "$log"
      return "$status"
    fi
    if [ $waited -eq 0 ]; then
      holder=$(grep -o 'held by process [0-9]* ([^)]*)' "$log" | head -n1 | sed 's/^held by //')
      echo "packages: another package manager (${holder:-unknown process}) holds the package lock;" \
           "waiting for it to finish (up to $LOCK_WAIT s)"
    fi
    if [ $waited -ge "$LOCK_WAIT" ]; then
      echo "packages: the package lock is still held after $LOCK_WAIT s; giving up" >&2
      cat "$log" >&2
      rm -f "$log"
      return "$status"
    fi
    sleep 5
    waited=$((waited + 10))
  done
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "packages: installing ${#missing[@]} missing: ${missing[*]}"
apt_get update
apt_get install -y --no-install-recommends "${missing[@]}"
