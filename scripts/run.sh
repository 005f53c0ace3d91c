#!/usr/bin/env bash
# Builds the viewer if needed and opens it on the bundled sample report. Without a
# display it says so and exports the sample to PDF instead.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SAMPLE="$ROOT/samples/Informe de Ventas.qrp"

bash scripts/install-deps.sh >/dev/null
if [ ! -x build/app/visualizar-reportes ] || [ ! -x build/tools/qrptool/qrptool ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j"$(nproc)" --target visualizar-reportes qrptool >/dev/null

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/app/visualizar-reportes "$SAMPLE"
fi

mkdir -p out
echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set): the viewer needs one."
echo "Exporting the sample report to PDF instead."
build/tools/qrptool/qrptool export-pdf "$SAMPLE" -o "out/Informe de Ventas.pdf"
echo "Written: $ROOT/out/Informe de Ventas.pdf"
build/tools/qrptool/qrptool info "$SAMPLE"
