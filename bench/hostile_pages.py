#!/usr/bin/env python3
"""Hostile pages: small files that ask for much, through every program that draws them.

    bench/hostile_pages.py make DIR
        Writes the cases into DIR: for each an EMF picture (CASE.emf) and a report of one
        page holding it (CASE.qrp); the compressed-page bomb is a report only.
    bench/hostile_pages.py run [--build BUILD] [--dir DIR] [--timeout S] [--cap MIB]
        Makes the cases (into a temporary folder unless DIR is given, removed afterwards)
        and runs each through qrptool render, export-pdf, export-png, emf-render and
        qrp-thumbnailer, one at a time, measuring the wall time and the peak resident
        memory of each run (the rusage of the child, from wait4). Prints a table and the
        goals: every run under 2 s and 512 MiB, the thumbnailer under 1 s and 256 MiB.
        Exit status 0 when every run met its goal, 1 otherwise.

Each run is held to --timeout seconds (default 60) and --cap MiB of data (default 4096,
RLIMIT_DATA) so that a case the programs do not yet bound cannot take the machine; a
run stopped by either is shown as such, its figures then only lower bounds.

The cases:
    polyline   8 MB page: a polyline of 10^6 points drawn with a 10^5-pixel pen
    widen      0.8 MB page: a path of 10^5 points widened with a 10^5-pixel pen, filled
    glyphs     2 MB page: 10^6 glyphs in a font 10^6 pixels high
    rle8       257 KB page: an RLE8 bitmap of 16384 x 16384 stretched over the page
    frame      152-byte picture whose frame is 10^9 hundredths of a millimetre a side
    clip       a clip path of 20,000 figures, then the page filled through it
    bomb       a compressed page of 256 MB of code stating 2,048,000,000 bytes expanded
"""
import argparse
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

# ---- pictures ----------------------------------------------------------------------

PAGE_W, PAGE_H = 794, 1123  # A4 at 96 pixels per inch: the reference device's units
FRAME = (0, 0, 20999, 29699)  # A4 in 0.01 mm


def record(kind, payload=b""):
    payload += b"\0" * (-len(payload) % 4)
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def rectl(l, t, r, b):
    return struct.pack("<4i", l, t, r, b)


def header(records, frame=FRAME, bounds=(0, 0, PAGE_W - 1, PAGE_H - 1), handles=4):
    total = 88 + sum(len(r) for r in records) + 20
    count = len(records) + 2
    body = (rectl(*bounds) + rectl(*frame) + struct.pack("<IIII", 0x464D4520, 0x10000, total, count) +
            struct.pack("<HHIII", handles, 0, 0, 0, 0) + struct.pack("<4i", 1920, 1080, 508, 286))
    return record(1, body)


def emf(records, **kw):
    eof = record(14, struct.pack("<III", 0, 16, 20))
    return header(records, **kw) + b"".join(records) + eof


def create_pen(handle, width, color=0x000000):
    return record(38, struct.pack("<IIiiI", handle, 0, width, 0, color))


def create_brush(handle, color):
    return record(39, struct.pack("<IIII", handle, 0, color, 0))


def select(handle):
    return record(37, struct.pack("<I", handle))


def points32(points):
    return b"".join(struct.pack("<ii", x, y) for x, y in points)


def zigzag(n, seed):
    # Points spread over the page, each far from the last: every segment crosses it.
    state = seed
    out = []
    for i in range(n):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((state % PAGE_W, (i * 7919) % PAGE_H))
    return out


def polyline_case():
    pts = zigzag(10**6, 1)
    return emf([create_pen(1, 100000), select(1),
                record(4, rectl(0, 0, PAGE_W, PAGE_H) + struct.pack("<I", len(pts)) + points32(pts))])


def widen_case():
    pts = zigzag(10**5, 2)
    return emf([create_pen(1, 100000), select(1), create_brush(2, 0x808080), select(2),
                record(59),  # BEGINPATH
                record(4, rectl(0, 0, PAGE_W, PAGE_H) + struct.pack("<I", len(pts)) + points32(pts)),
                record(60),  # ENDPATH
                record(66),  # WIDENPATH
                record(62, rectl(0, 0, PAGE_W, PAGE_H))])  # FILLPATH


def font(handle, height, face="Liberation Sans"):
    name = face.encode("utf-16-le")[:62].ljust(64, b"\0")
    logfont = struct.pack("<5i8B", -height, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0) + name
    return record(82, struct.pack("<I", handle) + logfont)


def text(x, y, chars):
    data = chars.encode("utf-16-le")
    emrtext_at = 8 + 16 + 12
    string_at = emrtext_at + 40
    emrtext = struct.pack("<iiIII", x, y, len(chars), string_at, 0) + rectl(0, 0, -1, -1) + struct.pack("<I", 0)
    return record(84, rectl(0, 0, -1, -1) + struct.pack("<Iff", 1, 0.0, 0.0) + emrtext + data)


def glyphs_case():
    line = ("Informe de Ventas " * 56)[:1000]
    return emf([font(1, 10**6), select(1)] + [text(10, 10 + i, line) for i in range(1000)])


def rle8_case():
    side = 16384
    row = b"".join(struct.pack("BB", 255, (k * 37) % 256) for k in range(7)) + b"\0\0"  # 7 runs, end of line
    bits = row * side + b"\0\1"  # end of bitmap
    palette = b"".join(struct.pack("BBBB", i, 255 - i, (i * 7) % 256, 0) for i in range(256))
    bmi = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 8, 1, len(bits), 3780, 3780, 256, 0) + palette
    fixed = 8 + 16 + 24 + 16 + 8 + 8
    head = (rectl(0, 0, PAGE_W, PAGE_H) + struct.pack("<6i", 0, 0, 0, 0, side, side) +
            struct.pack("<4I", fixed, len(bmi), fixed + len(bmi), len(bits)) + struct.pack("<II", 0, 0x00CC0020) +
            struct.pack("<ii", PAGE_W, PAGE_H))
    return emf([record(81, head + bmi + bits)])


def frame_case():
    big = 10**9
    return emf([record(33),  # SAVEDC
                record(17, struct.pack("<I", 1)),  # SETMAPMODE MM_TEXT
                record(43, rectl(10, 10, 500, 500))],  # RECTANGLE
               frame=(0, 0, big, big), bounds=(0, 0, big, big))


def clip_case():
    figures = 20000
    counts = struct.pack("<%dI" % figures, *([4] * figures))
    pts = []
    for k in range(figures):
        x, y = (k * 13) % (PAGE_W - 4), (k * 29) % (PAGE_H - 4)
        pts += [(x, y), (x + 3, y), (x + 3, y + 3), (x, y + 3)]
    points16 = b"".join(struct.pack("<hh", x, y) for x, y in pts)
    poly = record(91, rectl(0, 0, PAGE_W, PAGE_H) + struct.pack("<II", figures, len(pts)) + counts + points16)
    return emf([create_brush(1, 0x3060C0), select(1), record(59), poly, record(60),
                record(67, struct.pack("<I", 5)),  # SELECTCLIPPATH, RGN_COPY
                record(43, rectl(0, 0, PAGE_W, PAGE_H)), font(2, 40), select(2),
                text(20, 200, "Informe de Ventas")])


# ---- reports -----------------------------------------------------------------------

def report_header(pages, compressed):
    h = bytearray(128)
    struct.pack_into("<hh", h, 0, 3, 309)
    struct.pack_into("<i", h, 8, pages)
    struct.pack_into("<d", h, 16, 36526.0)
    h[25] = 1 if compressed else 0
    return bytes(h)


def write_report(path, picture):
    start = 128
    rec = struct.pack("<ii", 1, start + 8 + len(picture) + 4) + picture + struct.pack("<i", start)
    with open(path, "wb") as f:
        f.write(report_header(1, False) + rec)


def write_bomb(path, code_bytes=256_000_000):
    # Zero bytes of code: each expands to at least one byte, so eight bytes a byte of
    # code is a size the code can claim.
    start = 128
    expanded = 8 * code_bytes
    with open(path, "wb") as f:
        f.write(report_header(1, True))
        f.write(struct.pack("<iii", 1, start + 12 + code_bytes + 4, expanded))
        chunk = bytes(1 << 20)
        left = code_bytes
        while left:
            n = min(left, len(chunk))
            f.write(chunk[:n])
            left -= n
        f.write(struct.pack("<i", start))


CASES = [
    ("polyline", polyline_case),
    ("widen", widen_case),
    ("glyphs", glyphs_case),
    ("rle8", rle8_case),
    ("frame", frame_case),
    ("clip", clip_case),
    ("bomb", None),
]


def make(folder):
    os.makedirs(folder, exist_ok=True)
    sizes = {}
    for name, build in CASES:
        if build is None:
            write_bomb(os.path.join(folder, name + ".qrp"))
            sizes[name] = os.path.getsize(os.path.join(folder, name + ".qrp"))
            continue
        picture = build()
        with open(os.path.join(folder, name + ".emf"), "wb") as f:
            f.write(picture)
        write_report(os.path.join(folder, name + ".qrp"), picture)
        sizes[name] = len(picture)
    return sizes


# ---- runs --------------------------------------------------------------------------

def run_one(argv, timeout, cap_mib):
    """Runs argv; returns (seconds, peak KiB, status text)."""
    def limits():
        os.setpgrp()
        if cap_mib:
            cap = cap_mib << 20
            resource.setrlimit(resource.RLIMIT_DATA, (cap, cap))

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    started = time.monotonic()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, preexec_fn=limits, env=env)
    stopped = []

    def stop():
        stopped.append(True)
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    timer = threading.Timer(timeout, stop)
    timer.start()
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = 0  # reaped here; keeps Popen from waiting again
    timer.cancel()
    seconds = time.monotonic() - started
    if stopped:
        what = "stopped at %d s" % timeout
    elif os.WIFSIGNALED(status):
        what = "signal %d" % os.WTERMSIG(status)
    else:
        code = os.WEXITSTATUS(status)
        last = err.decode("utf-8", "replace").strip().splitlines()
        what = "ok" if code == 0 else "status %d: %s" % (code, last[-1][:90] if last else "")
    return seconds, usage.ru_maxrss, what


def entry_points(build, folder, name, out):
    qrptool = os.path.join(build, "tools/qrptool/qrptool")
    thumbnailer = os.path.join(build, "tools/thumbnailer/qrp-thumbnailer")
    report = os.path.join(folder, name + ".qrp")
    picture = os.path.join(folder, name + ".emf")
    runs = [
        ("render", [qrptool, "render", report, "--page", "1", "-o", os.path.join(out, name + "-render.png")]),
        ("export-pdf", [qrptool, "export-pdf", report, "-o", os.path.join(out, name + ".pdf")]),
        ("export-png", [qrptool, "export-png", report, "-d", os.path.join(out, name + "-png")]),
    ]
    if os.path.exists(picture):
        runs.append(("emf-render", [qrptool, "emf-render", picture, "-o", os.path.join(out, name + "-emf.png")]))
    runs.append(("thumbnailer", [thumbnailer, "-s", "256", report, os.path.join(out, name + "-thumb.png")]))
    return runs


def goal(entry):
    return (1.0, 256) if entry == "thumbnailer" else (2.0, 512)


def run(args):
    build = os.path.abspath(args.build)
    own = args.dir is None
    folder = tempfile.mkdtemp(prefix="hostile-pages.") if own else args.dir
    out = tempfile.mkdtemp(prefix="hostile-out.")
    met = True
    try:
        sizes = make(folder)
        print("| case | size | entry point | time (s) | peak (MiB) | result | goal |")
        print("|---|---|---|---|---|---|---|")
        for name, _ in CASES:
            for entry, argv in entry_points(build, folder, name, out):
                seconds, peak_kib, what = run_one(argv, args.timeout, args.cap)
                limit_s, limit_mib = goal(entry)
                within = seconds < limit_s and peak_kib / 1024 < limit_mib and not what.startswith(("stopped", "signal"))
                met = met and within
                print("| %s | %s | %s | %.2f | %.0f | %s | %s |" % (
                    name, human(sizes[name]), entry, seconds, peak_kib / 1024, what, "met" if within else "NOT MET"),
                    flush=True)
                shutil.rmtree(out, ignore_errors=True)
                os.makedirs(out, exist_ok=True)
    finally:
        shutil.rmtree(out, ignore_errors=True)
        if own:
            shutil.rmtree(folder, ignore_errors=True)
    return 0 if met else 1


def human(n):
    for unit, size in (("MB", 10**6), ("KB", 10**3)):
        if n >= size:
            return "%.1f %s" % (n / size, unit)
    return "%d B" % n


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    m = sub.add_parser("make")
    m.add_argument("dir")
    r = sub.add_parser("run")
    r.add_argument("--build", default="build")
    r.add_argument("--dir")
    r.add_argument("--timeout", type=float, default=60)
    r.add_argument("--cap", type=int, default=4096, help="MiB of data per run (0: none)")
    args = parser.parse_args()
    if args.command == "make":
        for name, size in make(args.dir).items():
            print("%s: %s" % (name, human(size)))
        return 0
    return run(args)


if __name__ == "__main__":
    sys.exit(main())
