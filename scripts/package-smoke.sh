#!/usr/bin/env bash
# Builds the Debian package and its -dbgsym companion, checks what they hold (stripped
# programs, the dependencies, AppStream metadata and desktop entry that validate),
# installs the package with apt as a user would, runs the installed programs from
# /usr/bin on a freshly made sample report, checks what they wrote and removes the
# package again.
#
#   scripts/package-smoke.sh [BUILD_DIR]
#
# With BUILD_DIR (an existing build tree, e.g. the test build) that tree is built and
# packaged; without it a tree without tests is configured in build-package. Either way
# the build keeps debug information (RelWithDebInfo) for the -dbgsym package. With
# QRP_TEST_SUMMARY set, a line for the run's summary is added to that file.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
START=$(date +%s)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# Only what the package holds is built; packaging does not wait for the test programs.
if [ $# -ge 1 ]; then
  BUILD=$(cd "$1" && pwd)
  cmake -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "$BUILD" >/dev/null
else
  BUILD=$ROOT/build-package
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
        -DQRP_BUILD_TESTS=OFF -DQRP_BUILD_BENCH=OFF >/dev/null
fi
fail() {
  echo "package smoke test FAILED: $*" >&2
  [ -z "${QRP_TEST_SUMMARY:-}" ] || echo "package check: FAILED: $*" >>"$QRP_TEST_SUMMARY"
  exit 1
}

# apt waits for a package manager that holds its lock, up to 10 minutes.
APT=(apt-get -o DPkg::Lock::Timeout=600)
WORK=$(mktemp -d)
cleanup() {
  if dpkg-query -W -f='${Status}' visualizar-reportes 2>/dev/null | grep -q "install ok installed"; then
    $SUDO env DEBIAN_FRONTEND=noninteractive "${APT[@]}" remove -y --purge visualizar-reportes >/dev/null 2>&1 || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

echo "== build ($BUILD)"
cmake --build "$BUILD" -j"$(nproc)" --target visualizar-reportes qrptool qrp-thumbnailer qrp_man_pages

echo "== package"
rm -f "$BUILD"/visualizar-reportes_*.deb "$BUILD"/visualizar-reportes-dbgsym_*.ddeb
(cd "$BUILD" && cpack -G DEB >/dev/null)
DEB=$(ls "$BUILD"/visualizar-reportes_*.deb 2>/dev/null | head -n1)
DBGSYM=$(ls "$BUILD"/visualizar-reportes-dbgsym_*.ddeb 2>/dev/null | head -n1)
[ -f "$DEB" ] || fail "no package was made"
dpkg-deb --info "$DEB" | sed -n '/Package:/,/Description:/p'

# What the package holds: stripped programs and modules, their debug information in
# the -dbgsym package, and the dependencies the programs need at run time.
mkdir "$WORK/deb"
dpkg-deb -x "$DEB" "$WORK/deb"
# Three programs, and the modules of qrptool (search, drawing, printing) and the
# thumbnailer.
BINARIES=7
ELFS=$(find "$WORK/deb" -type f -exec sh -c 'file -b "$1" | grep -q "^ELF" && echo "$1"' sh {} \;)
[ "$(echo "$ELFS" | grep -c .)" -eq $BINARIES ] || fail "expected 3 programs and 4 modules, found: $ELFS"
for f in $ELFS; do
  file -b "$f" | grep -q ", stripped" || fail "$(basename "$f") is not stripped"
done
[ -f "$DBGSYM" ] || fail "no -dbgsym package was made"
mkdir "$WORK/dbgsym"
dpkg-deb -x "$DBGSYM" "$WORK/dbgsym"
[ "$(find "$WORK/dbgsym/usr/lib/debug" -name '*.debug' | wc -l)" -eq $BINARIES ] ||
  fail "the -dbgsym package does not hold the debug information of all $BINARIES binaries"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
for dep in libc6 libqt6gui6 libqt6printsupport6 libcups2 fonts-liberation qt6-translations-l10n; do
  echo "$DEPENDS" | tr ',' '\n' | grep -q "^ *$dep\b" || fail "Depends lacks $dep: $DEPENDS"
done
INSTALLED_KIB=$(dpkg-deb -f "$DEB" Installed-Size)
echo "package: $(basename "$DEB") $(du -k "$DEB" | cut -f1) KiB, installed $INSTALLED_KIB KiB;" \
     "debug information: $(basename "$DBGSYM") $(du -k "$DBGSYM" | cut -f1) KiB"
[ "$INSTALLED_KIB" -lt 8192 ] || fail "installs $INSTALLED_KIB KiB, more than the stripped programs need"


echo "== install"
cp "$DEB" "$WORK/pkg.deb"
# apt's own account goes to a log, shown when the installation fails.
if ! $SUDO env DEBIAN_FRONTEND=noninteractive "${APT[@]}" install -y "$WORK/pkg.deb" >"$WORK/apt.log" 2>&1; then
  # A fresh machine may not have package lists yet for the dependencies.
  if ! { $SUDO "${APT[@]}" update &&
         $SUDO env DEBIAN_FRONTEND=noninteractive "${APT[@]}" install -y "$WORK/pkg.deb"; } >>"$WORK/apt.log" 2>&1; then
    cat "$WORK/apt.log" >&2
    fail "apt could not install the package"
  fi
fi
echo "installed with apt: $(grep -c '^Setting up' "$WORK/apt.log") packages set up"

for f in /usr/bin/visualizar-reportes /usr/bin/qrptool /usr/bin/qrp-thumbnailer; do
  [ -x "$f" ] || fail "$f is not installed"
done
for f in /usr/share/applications/visualizar-reportes.desktop \
         /usr/share/mime/packages/x-qrp-report.xml \
         /usr/share/thumbnailers/visualizar-reportes.thumbnailer \
         /usr/share/man/man1/visualizar-reportes.1.gz \
         /usr/share/man/man1/qrptool.1.gz \
         /usr/share/man/man1/qrp-thumbnailer.1.gz \
         /usr/share/icons/hicolor/48x48/apps/visualizar-reportes.png \
         /usr/share/icons/hicolor/scalable/apps/visualizar-reportes.svg; do
  [ -f "$f" ] || fail "$f is not installed"
done
desktop-file-validate /usr/share/applications/visualizar-reportes.desktop || fail "desktop entry"
METAINFO=$(ls /usr/share/metainfo/*.metainfo.xml 2>/dev/null | xargs -r grep -l visualizar-reportes.desktop | head -n1)
[ -n "$METAINFO" ] || fail "no AppStream metadata installed"
appstreamcli validate --no-net "$METAINFO" || fail "AppStream metadata: $METAINFO"
grep -q '<mediatype>application/x-qrp-report</mediatype>' "$METAINFO" || fail "AppStream: no MIME type"
# The triggers have run: the system MIME database knows the type, matching *.qrp in
# any letter case, and the desktop database maps it to the viewer.
[ -f /usr/share/mime/application/x-qrp-report.xml ] || fail "MIME database not updated"
grep -qx '50:application/x-qrp-report:\*\.qrp' /usr/share/mime/globs2 || fail "MIME glob"
grep -q '^application/x-qrp-report=visualizar-reportes.desktop;' /usr/share/applications/mimeinfo.cache \
  || fail "desktop database not updated"

echo "== run the installed programs"
cd "$WORK"
export QT_QPA_PLATFORM=offscreen
/usr/bin/qrptool --version
PAGES=3
if /usr/bin/qrptool make-sample --help >/dev/null 2>&1; then
  /usr/bin/qrptool make-sample "Informe de Prueba.qrp" --pages $PAGES
else
  # Older trees: a report of the test pictures, one page each.
  mapfile -t EMFS < <(find "$ROOT/tests/data" -iname '*.emf' | sort | head -n $PAGES)
  [ ${#EMFS[@]} -eq $PAGES ] || fail "no make-sample command and too few EMF pictures"
  /usr/bin/qrptool make "Informe de Prueba.qrp" "${EMFS[@]}"
fi
REPORT="Informe de Prueba.qrp"
SUM=$(sha256sum < "$REPORT")

/usr/bin/qrptool info "$REPORT" --json > info.json
python3 - "$PAGES" <<'EOF' || fail "qrptool info"
import json, sys
info = json.load(open("info.json"))
pages = int(sys.argv[1])
assert info["pages_in_file"] == pages, info
assert len(info["pages"]) == pages, info
assert info["header_size"] == 128, info
EOF
/usr/bin/qrptool info "$REPORT"

/usr/bin/qrptool export-pdf "$REPORT" -o report.pdf
[ -s report.pdf ] || fail "export-pdf wrote nothing"
pdfinfo report.pdf | grep "^Pages: *$PAGES\$" >/dev/null || fail "export-pdf: expected $PAGES pages"

# The drawing module: page 1 at 24 dots per inch, 199 x 281 pixels for an A4 page.
/usr/bin/qrptool export-png "$REPORT" --pages 1 --dpi 24 -d png | grep -q ": page 1, 199 x 281 pixels" ||
  fail "export-png"
file png/*-1.png | grep -q "PNG image data, 199 x 281," || fail "export-png: $(file png/*)"

/usr/bin/qrp-thumbnailer -s 128 "$REPORT" thumb.png
# A4 portrait within 128 pixels: 91 x 128.
file thumb.png | grep "PNG image data, 91 x 128," >/dev/null || fail "thumbnailer: $(file thumb.png)"

if /usr/bin/qrptool make-sample --help >/dev/null 2>&1; then
  /usr/bin/qrptool text "$REPORT" --page $PAGES > page.txt
  grep -q "Página $PAGES de $PAGES" page.txt || fail "qrptool text"
  pdftotext -enc UTF-8 report.pdf report.txt
  grep -q "Página 1 de $PAGES" report.txt || fail "export-pdf text"
fi

# The input was never touched, and a damaged report fails cleanly.
[ "$(sha256sum < "$REPORT")" = "$SUM" ] || fail "the report was changed"
head -c 300 "$REPORT" > damaged.qrp
if /usr/bin/qrptool export-pdf damaged.qrp -o damaged.pdf 2>err.txt; then fail "damaged report exported"; fi
[ ! -e damaged.pdf ] || fail "partial PDF left behind"
[ "$(wc -l < err.txt)" -eq 1 ] || fail "error is not one line: $(cat err.txt)"

echo "== remove"
cd "$ROOT"
$SUDO env DEBIAN_FRONTEND=noninteractive "${APT[@]}" remove -y --purge visualizar-reportes >/dev/null
[ ! -e /usr/bin/qrptool ] || fail "qrptool still installed after removal"
RESULT="passed in $(( $(date +%s) - START )) s ($(basename "$DEB"), $(du -k "$DEB" | cut -f1) KiB, installed $INSTALLED_KIB KiB)"
echo "package smoke test $RESULT"
[ -z "${QRP_TEST_SUMMARY:-}" ] || echo "package check: $RESULT" >>"$QRP_TEST_SUMMARY"
