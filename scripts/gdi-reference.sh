#!/usr/bin/env bash
# Draws EMF files as GDI draws them, to compare the player with: Wine's gdi32 plays each
# file onto a white 24-bit bitmap (scripts/gdi-reference/render.c, built with MinGW).
# Not part of the tests; installs wine64 and gcc-mingw-w64 on first use.
#   scripts/gdi-reference.sh IN.emf OUT.png WIDTH HEIGHT
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 IN.emf OUT.png WIDTH HEIGHT" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=${GDI_REFERENCE_DIR:-$HOME/.cache/qrp-gdi-reference}
mkdir -p "$work"
if ! command -v x86_64-w64-mingw32-gcc >/dev/null || [ ! -x /usr/lib/wine/wine64 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends wine64 wine gcc-mingw-w64-x86-64 python3-pil
fi
if [ ! -f "$work/render.exe" ] || [ "$here/gdi-reference/render.c" -nt "$work/render.exe" ]; then
  x86_64-w64-mingw32-gcc -O2 -o "$work/render.exe" "$here/gdi-reference/render.c" -lgdi32
fi
bmp=$(mktemp --suffix=.bmp)
trap 'rm -f "$bmp"' EXIT
WINEDEBUG=-all WINEPREFIX="$work/prefix" /usr/lib/wine/wine64 "$work/render.exe" \
  "$(readlink -f "$1")" "$bmp" "$3" "$4" 2>/dev/null
/usr/bin/python3 -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])' "$bmp" "$2"
