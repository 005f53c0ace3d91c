#!/usr/bin/env bash
# Takes the pictures of the three windows from the real program under Xvfb: the
# program saves grabs of its windows into QRP_SCREENSHOT_DIR and ends.
# Usage: docs/screenshots/take-screenshots.sh [BUILD_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/reports"
cp "$ROOT/samples/Informe de Ventas.qrp" "$WORK/reports/"
cp "$ROOT/samples/Informe de Ventas.qrp" "$WORK/reports/Resumen Anual.QRP"
cd "$WORK/reports"
XDG_DATA_HOME="$WORK/data" XDG_CONFIG_HOME="$WORK/config" QRP_SCREENSHOT_DIR="$ROOT/docs/screenshots" \
  xvfb-run -a -s "-screen 0 1280x800x24" "$BUILD/app/visualizar-reportes" "$WORK/reports/Informe de Ventas.qrp"
ls -l "$ROOT/docs/screenshots"/*.png
