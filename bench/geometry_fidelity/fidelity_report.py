#!/usr/bin/env python3
"""Geometry fidelity report: exports every model given, checks each STL is closed, and, where
a reference surface exported by OpenVSP is given beside a model (same stem, .stl), measures
how far that surface's vertices lie from ours, as a percentage of the model's length.

    fidelity_report.py --orvanta build/apps/orvanta/orvanta MODEL_OR_DIR... [--reference-dir DIR]

Prints a Markdown table; exits 1 when a model fails to export or exports an open surface.
"""

import argparse
import json
import math
import pathlib
import subprocess
import sys
import tempfile


def run_json(cmd):
    done = subprocess.run(cmd, capture_output=True, text=True)
    if done.returncode != 0:
        return None, (done.stderr or done.stdout).strip().splitlines()[-1:] or ["failed"]
    return json.loads(done.stdout), None


def read_stl(path):
    """Triangles of an ASCII STL as lists of three (x, y, z) tuples."""
    tris, corner = [], []
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f:
            parts = line.split()
            if parts and parts[0] == "vertex":
                corner.append(tuple(float(v) for v in parts[1:4]))
                if len(corner) == 3:
                    tris.append(corner)
                    corner = []
    return tris


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def point_triangle_distance(p, tri):
    """Distance from p to a triangle (closest-point regions of Ericson's method)."""
    a, b, c = tri
    ab, ac, ap = sub(b, a), sub(c, a), sub(p, a)
    d1, d2 = dot(ab, ap), dot(ac, ap)
    if d1 <= 0 and d2 <= 0:
        return math.dist(p, a)
    bp = sub(p, b)
    d3, d4 = dot(ab, bp), dot(ac, bp)
    if d3 >= 0 and d4 <= d3:
        return math.dist(p, b)
    vc = d1 * d4 - d3 * d2
    if vc <= 0 and d1 >= 0 and d3 <= 0:
        v = d1 / (d1 - d3)
        return math.dist(p, (a[0] + v * ab[0], a[1] + v * ab[1], a[2] + v * ab[2]))
    cp = sub(p, c)
    d5, d6 = dot(ab, cp), dot(ac, cp)
    if d6 >= 0 and d5 <= d6:
        return math.dist(p, c)
    vb = d5 * d2 - d1 * d6
    if vb <= 0 and d2 >= 0 and d6 <= 0:
        w = d2 / (d2 - d6)
        return math.dist(p, (a[0] + w * ac[0], a[1] + w * ac[1], a[2] + w * ac[2]))
    va = d3 * d6 - d5 * d4
    if va <= 0 and (d4 - d3) >= 0 and (d5 - d6) >= 0:
        w = (d4 - d3) / ((d4 - d3) + (d5 - d6))
        bc = sub(c, b)
        return math.dist(p, (b[0] + w * bc[0], b[1] + w * bc[1], b[2] + w * bc[2]))
    denom = 1.0 / (va + vb + vc)
    v, w = vb * denom, vc * denom
    q = (a[0] + ab[0] * v + ac[0] * w, a[1] + ab[1] * v + ac[1] * w, a[2] + ab[2] * v + ac[2] * w)
    return math.dist(p, q)


class TriangleGrid:
    """Triangles binned by their bounding boxes, for nearest-surface queries."""

    def __init__(self, tris, cell):
        self.cell, self.bins, self.tris = cell, {}, tris
        for k, t in enumerate(tris):
            lo = [min(v[i] for v in t) for i in range(3)]
            hi = [max(v[i] for v in t) for i in range(3)]
            for ix in range(int(lo[0] // cell), int(hi[0] // cell) + 1):
                for iy in range(int(lo[1] // cell), int(hi[1] // cell) + 1):
                    for iz in range(int(lo[2] // cell), int(hi[2] // cell) + 1):
                        self.bins.setdefault((ix, iy, iz), []).append(k)

    def distance(self, p, limit):
        """Distance to the nearest triangle, searching rings of cells out to `limit`."""
        c = [int(p[i] // self.cell) for i in range(3)]
        best = math.inf
        for ring in range(int(limit / self.cell) + 2):
            if best <= (ring - 1) * self.cell:
                break
            for ix in range(c[0] - ring, c[0] + ring + 1):
                for iy in range(c[1] - ring, c[1] + ring + 1):
                    for iz in range(c[2] - ring, c[2] + ring + 1):
                        if max(abs(ix - c[0]), abs(iy - c[1]), abs(iz - c[2])) != ring:
                            continue
                        for k in self.bins.get((ix, iy, iz), ()):
                            best = min(best, point_triangle_distance(p, self.tris[k]))
        return best


def compare(ours, reference):
    """95th percentile and maximum distance of the reference vertices from our surface, and
    the model length (x extent of the reference) they are measured against."""
    ref_points = sorted({v for t in reference for v in t})
    xs = [p[0] for p in ref_points]
    length = max(xs) - min(xs)
    grid = TriangleGrid(ours, cell=length / 60.0)
    d = sorted(grid.distance(p, limit=length) for p in ref_points)
    return d[int(0.95 * (len(d) - 1))], d[-1], length


def models_in(args):
    for item in args:
        path = pathlib.Path(item)
        yield from sorted(path.glob("*.vsp3")) if path.is_dir() else [path]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--orvanta", required=True, help="the orvanta executable")
    parser.add_argument("--reference-dir", help="OpenVSP's own STL exports, named after the models")
    parser.add_argument("models", nargs="+", help=".vsp3 files or folders of them")
    args = parser.parse_args()
    failures = 0
    print("| model | exports | watertight | triangles | p95 % | max % |")
    print("|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as tmp:
        for model in models_in(args.models):
            stl = str(pathlib.Path(tmp) / (model.stem + ".stl"))
            done = subprocess.run([args.orvanta, "vsp", "export-stl", str(model), stl], capture_output=True, text=True)
            if done.returncode != 0:
                failures += 1
                reason = (done.stderr or done.stdout).strip().replace("|", "/")
                print(f"| {model.name} | no: {reason} | | | | |")
                continue
            check, err = run_json([args.orvanta, "vsp", "check-stl", stl])
            closed = bool(check and check.get("watertight"))
            failures += 0 if closed else 1
            p95 = worst = ""
            ref = pathlib.Path(args.reference_dir) / (model.stem + ".stl") if args.reference_dir else None
            if ref and ref.exists():
                a, b, length = compare(read_stl(stl), read_stl(ref))
                p95, worst = f"{100 * a / length:.3f}", f"{100 * b / length:.3f}"
            tris = check.get("triangles", "") if check else err
            print(f"| {model.name} | yes | {'yes' if closed else 'no'} | {tris} | {p95} | {worst} |")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
