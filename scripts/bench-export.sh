#!/usr/bin/env bash
# Measures export-pdf of many reports in one call (converted in parallel) against one
# call per report, and checks the PDFs are the same either way.
#
#   scripts/bench-export.sh [BUILD_DIR] [REPORTS] [PAGES]     (defaults: build 100 20)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
REPORTS=${2:-100}
PAGES=${3:-20}
QRPTOOL=$(cd "$BUILD" && pwd)/tools/qrptool/qrptool
[ -x "$QRPTOOL" ] || { echo "no qrptool in $BUILD; build it first" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/in" "$WORK/batch" "$WORK/single"
"$QRPTOOL" make-sample "$WORK/sample.qrp" --pages "$PAGES"
for i in $(seq -w 1 "$REPORTS"); do cp "$WORK/sample.qrp" "$WORK/in/report-$i.qrp"; done

now() { date +%s.%N; }
t0=$(now)
for f in "$WORK"/in/*.qrp; do
  "$QRPTOOL" export-pdf "$f" -o "$WORK/single/$(basename "${f%.qrp}").pdf"
done
t1=$(now)
"$QRPTOOL" export-pdf "$WORK"/in/*.qrp -d "$WORK/batch" > "$WORK/summary.txt"
t2=$(now)

same=0
for f in "$WORK"/single/*.pdf; do
  if cmp -s <(sed -E 's#/(CreationDate|ModDate) *\([^)]*\)##g' "$f") \
            <(sed -E 's#/(CreationDate|ModDate) *\([^)]*\)##g' "$WORK/batch/$(basename "$f")"); then
    same=$((same + 1))
  fi
done
tail -n1 "$WORK/summary.txt"
python3 - "$t0" "$t1" "$t2" "$REPORTS" "$PAGES" "$same" "$(nproc)" <<'PY'
import sys
t0, t1, t2 = map(float, sys.argv[1:4])
reports, pages, same, cores = map(int, sys.argv[4:8])
single, batch = t1 - t0, t2 - t1
print(f"{reports} reports x {pages} pages, {cores} cores")
print(f"one call per report: {single:.2f} s   one call: {batch:.2f} s   speed-up: {single / batch:.2f}x")
print(f"identical PDFs (dates aside): {same} of {reports}")
PY
