#!/usr/bin/env python3
"""Whole-job timings of nadir_spot on generated models, beside the tools people would
otherwise use for the same job when they are installed.

usage: bench/e2e.py [--lines N] [--cols N] [--runs N] [--peers] [--build DIR] [--compare [DIR]]
                   [--pause S] [--only 16-bit|32-bit|ASCII]

Generates (once, cached) a terrain model of lines x columns in the three input formats,
then runs the program end to end with scripted answers (load, convert to metres, min/max,
count, mask BMP) and reports the median wall time, MB/s of the model file and the peak
resident memory. With --peers it times the same work by `gdalinfo -mm` (no mask), a numpy +
Pillow script and a GDAL Python + numpy script, each where installed (Debian's gdal-bin,
python3-gdal, python3-numpy, python3-pil), and by the yardsticks of bench/least_work.cpp
(raw: one pass and the mask, no matrices; grid: the bare std::from_chars parse). The
programs take turns run after run, in an order shuffled each round, so that a change in the
machine's load falls on all of them; the last column is each one's time over nadir_spot's.
--compare DIR adds the nadir_spot of another build folder (an earlier version, say) to the
turns; --compare alone adds the program built with small pages only and with huge pages only
(build-bench/bench/nadir_spot_*_pages) and prints, under each model, nadir_spot's time over
the better of the two: how far its choice of pages is from the better fixed kind on this host.
The column "worst/med" is each program's slowest run over its median.

Every program is timed in two conditions, each printed as a table of its own: back to back,
and after S idle seconds before every run (--pause, default 5, as a person typing the
answers gives; --pause 0 leaves that table out). On a virtual machine memory freed moments
before is far cheaper to take again than memory its host has had time to take back, so a
run's time depends on what ran just before it; bench/page_costs prints what each kind of
page costs on this host.
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_PAGES = "the builds with one kind of pages"  # --compare given alone
ROOT = os.path.dirname(HERE)

# Answers: folder, model, format, depth, (key), unit, locate yes, image name.
ANSWERS = {
    "16-bit raw": ("terrain_m2.raw", b"bench\nterrain\n1\n0\n1\n0\nmask16\n"),
    "32-bit raw": ("terrain_m4.raw", b"bench\nterrain\n1\n1\n3\n0\nmask32\n"),
    "ASCII grid": ("terrain.asc", b"bench\nterrain\n0\n0\nmaskasc\n"),
}

PEER_SCRIPT = r'''
import sys, numpy as np
kind, path, lines, cols, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
if kind == "gdal":
    from osgeo import gdal
    a = gdal.Open(path).ReadAsArray().astype(np.float64)
    if path.endswith("_m2.vrt"): a *= 0.1
    elif path.endswith("_m4.vrt"): a *= 0.001
elif path.endswith("_m2.raw"):
    a = np.fromfile(path, dtype="<u2", count=lines * cols).reshape(lines, cols) * 0.1
elif path.endswith("_m4.raw"):
    a = np.fromfile(path, dtype="<i4", count=lines * cols).reshape(lines, cols) * 0.001
else:
    with open(path, "rb") as f:
        for _ in range(6): f.readline()
        a = np.array(f.read().split(), dtype=np.float64).reshape(lines, cols)
lo, hi = np.nanmin(a), np.nanmax(a)
m = a == lo
n = int(m.sum())
from PIL import Image
Image.fromarray(np.where(m, 1, 255).astype(np.uint8), mode="L").save(out)
print(lo, hi, n)
'''


def vrt(raw, lines, cols, dtype, size):
    path = raw[:-4] + ".vrt"
    with open(path, "w") as f:
        f.write('<VRTDataset rasterXSize="%d" rasterYSize="%d"><VRTRasterBand dataType="%s" band="1" '
                'subClass="VRTRawRasterBand"><SourceFilename relativeToVRT="1">%s</SourceFilename>'
                '<ImageOffset>0</ImageOffset><PixelOffset>%d</PixelOffset><LineOffset>%d</LineOffset>'
                '<ByteOrder>LSB</ByteOrder></VRTRasterBand></VRTDataset>'
                % (cols, lines, dtype, os.path.basename(raw), size, size * cols))
    return path


def timed(argv, stdin=None, cwd=None):
    """Wall seconds and peak resident MB of one run."""
    t0 = time.perf_counter()
    p = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, cwd=cwd)
    if stdin is not None:
        p.stdin.write(stdin)
    p.stdin.close()
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    wall = time.perf_counter() - t0
    if p.returncode != 0:
        raise SystemExit("failed (%d): %s" % (p.returncode, " ".join(argv)))
    return wall, usage.ru_maxrss / 1024.0


def interleaved(runs, programs, pause=0.0):
    """programs: (name, argv, stdin, cwd) tuples, run in turn runs times, each after pause
    idle seconds: (name, median wall s, largest peak MB, slowest wall s) each."""
    walls = [[] for _ in programs]
    peaks = [[] for _ in programs]
    # The order changes from round to round: a run is cheaper right after a program that
    # gave back much memory (see --pause), and no program should always follow the same one.
    rng = random.Random(1)
    order = list(range(len(programs)))
    for _ in range(runs):
        rng.shuffle(order)
        for i in order:
            _, argv, stdin, cwd = programs[i]
            time.sleep(pause)
            w, m = timed(argv, stdin, cwd)
            walls[i].append(w)
            peaks[i].append(m)
    if os.environ.get("E2E_ALL"):
        for p, w in zip(programs, walls):
            print("    %-22s %s" % (p[0], " ".join("%.3f" % x for x in w)), file=sys.stderr)
    return [(p[0], statistics.median(w), max(m), max(w)) for p, w, m in zip(programs, walls, peaks)]


def have(cmd):
    try:
        return subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        return False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lines", type=int, default=8000)
    ap.add_argument("--cols", type=int, default=8000)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--peers", action="store_true")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--compare", nargs="?", const=FIXED_PAGES,
                    help="another build folder whose nadir_spot runs in turn too; alone: the builds "
                         "with small pages only and with huge pages only")
    ap.add_argument("--work", default="/tmp/nadir_bench")
    ap.add_argument("--only", choices=["16-bit", "32-bit", "ASCII"], help="one kind of model")
    ap.add_argument("--pause", type=float, default=5.0,
                    help="idle seconds before every run of the second table (0: no such table)")
    a = ap.parse_args()

    nadir = os.path.join(os.path.abspath(a.build), "nadir_spot")
    if a.compare and a.compare != FIXED_PAGES:
        a.compare = os.path.abspath(a.compare)
    gen = os.path.join(ROOT, "build-bench", "bench", "make_models")
    least = os.path.join(ROOT, "build-bench", "bench", "least_work")
    fixed = [(kind + " pages only", os.path.join(ROOT, "build-bench", "bench", "nadir_spot_%s_pages" % kind))
             for kind in ("small", "huge")] if a.compare == FIXED_PAGES else []
    if not all(os.path.exists(p) for p in [gen, least] + [f[1] for f in fixed]):
        subprocess.run(["cmake", "--preset", "bench"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "bench"], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
    work = os.path.join(a.work, "%dx%d" % (a.lines, a.cols))
    models = os.path.join(work, "c", "images", "bench")
    if not os.path.exists(os.path.join(models, "terrain.asc")):
        os.makedirs(models, exist_ok=True)
        subprocess.run([gen, models, str(a.lines), str(a.cols)], check=True)

    cells = a.lines * a.cols
    python_ok = have(["/usr/bin/python3", "-c", "import numpy, PIL"])
    gdal_py_ok = have(["/usr/bin/python3", "-c", "import numpy, PIL; from osgeo import gdal"])
    gdalinfo_ok = have(["gdalinfo", "--version"])
    script = os.path.join(work, "peer.py")
    with open(script, "w") as f:
        f.write(PEER_SCRIPT)
    peer_bmp = os.path.join(work, "peer.bmp")
    jobs = []  # (kind, model MB, programs)
    for kind, (name, answers) in ANSWERS.items():
        if a.only and not kind.startswith(a.only):
            continue
        path = os.path.join(models, name)
        subprocess.run(["cat", path], stdout=subprocess.DEVNULL)  # warm the cache
        programs = [("nadir_spot", [nadir], answers, work)]
        if a.compare and not fixed:
            programs.append(("nadir_spot (compare)", [os.path.join(a.compare, "nadir_spot")], answers,
                             work))
        programs += [(name, [path], answers, work) for name, path in fixed]
        if a.peers:
            target = path
            if name.endswith(".raw"):
                two = name.endswith("_m2.raw")
                target = vrt(path, a.lines, a.cols, "UInt16" if two else "Int32", 2 if two else 4)
                programs.append(("least work (no matrix)",
                                 [least, "raw16" if two else "raw32", path, str(a.lines),
                                  str(a.cols), "0.1" if two else "0.001", peer_bmp], None, None))
            else:
                programs.append(("from_chars parse alone", [least, "parse", path], None, None))
            if gdalinfo_ok:
                programs.append(("gdalinfo -mm", ["gdalinfo", "-mm", target], None, None))
            if python_ok:
                programs.append(("numpy + Pillow", ["/usr/bin/python3", script, "np", path,
                                                    str(a.lines), str(a.cols), peer_bmp], None, None))
            if gdal_py_ok:
                programs.append(("GDAL Python + numpy", ["/usr/bin/python3", script, "gdal", target,
                                                         str(a.lines), str(a.cols), peer_bmp], None, None))
        jobs.append((kind, os.path.getsize(path) / 1e6, programs))

    for pause in [0.0] + ([a.pause] if a.pause > 0 else []):
        print("model %d x %d (%.0f M cells), median of %d runs, warm page cache, %s" %
              (a.lines, a.cols, cells / 1e6, a.runs,
               "%g idle seconds before each run" % pause if pause else "back to back"))
        print("%-12s %-22s %9s %9s %10s %11s %8s %9s" % ("model", "program", "wall s", "MB/s", "peak MB",
                                                           "peak B/cell", "x nadir", "worst/med"))
        sys.stdout.flush()
        for kind, size_mb, programs in jobs:
            rows = interleaved(a.runs, programs, pause)
            ours = rows[0][1]
            for prog, wall, peak, slowest in rows:
                print("%-12s %-22s %9.3f %9.0f %10.0f %11.2f %8.2f %9.2f" % (
                    kind, prog, wall, size_mb / wall, peak, peak * 1048576 / cells, wall / ours,
                    slowest / wall))
            if fixed:
                print("%-12s nadir_spot over the better fixed kind of pages: %.2f" % (
                    kind, ours / min(r[1] for r in rows if r[0].endswith("pages only"))))
            sys.stdout.flush()
        print()

if __name__ == "__main__":
    main()
