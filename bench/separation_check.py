#!/usr/bin/env python3
"""Where spurious drag hides: reversed flow on the tail cone and at the wing's trailing edge
of a solved flow case, from the wall shear stress its solver wrote with the final fields.

    separation_check.py CASE_DIR

Attached flow drags the wall downstream, so the streamwise wall shear has one sign over
nearly all of the aircraft; faces whose sign is the other one see reversed (separated)
flow. Reports the area fraction of such faces on the whole aircraft, on the tail cone (the
last 20 % of the body's length, inboard of the wing root) and in the last 10 % of the wing
chord at each spanwise station, with where they are.
"""

import json
import os
import re
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "assets", "aircraft_assets"))

from orvanta_case import foam_files, mesh_sizing, y_plus  # noqa: E402
from orvanta_case.surfaces import read_vtp  # noqa: E402

FIELD = "wallShearStress"
TAIL_FRACTION = 0.2
TRAILING_FRACTION = 0.1
SPAN_BINS = 40


def patch_vectors(text, patch, n_faces):
    """The `value` of one patch of a vector field file, as an (n_faces, 3) array."""
    block = re.compile(r"^\s*" + re.escape(patch) + r"\s*\{", re.M).search(text, text.index("boundaryField"))
    if block is None:
        raise ValueError(f"no boundary entry for patch {patch}")
    value = re.compile(r"^\s*value\s+", re.M).search(text, block.end())
    entry = text[value.end():]
    if entry.startswith("uniform"):
        vector = [float(v) for v in re.match(r"uniform\s*\(([^)]*)\)", entry).group(1).split()]
        return np.tile(vector, (n_faces, 1))
    m = re.match(r"nonuniform\s+List<vector>\s*(\d+)\s*\(", entry)
    if m is None:
        raise ValueError(f"patch {patch}: expected a vector list, got {entry[:40]!r}")
    count = int(m.group(1))
    numbers = re.findall(r"\(([^()]*)\)", entry[m.end():], )[:count]
    values = np.array([[float(v) for v in item.split()] for item in numbers])
    if len(values) != n_faces:
        raise ValueError(f"patch {patch} holds {len(values)} values for {n_faces} faces")
    return values


def reversed_faces(shear_x, areas):
    """Faces whose streamwise shear has the minority sign (by area)."""
    majority = np.sign((np.sign(shear_x) * areas).sum()) or 1.0
    return np.sign(shear_x) == -majority


def regions(centres, body_half_width):
    """Masks of the tail cone and of the wing's trailing-edge band."""
    x, y = centres[:, 0], centres[:, 1]
    body = y <= body_half_width
    x_body_min, x_body_max = x[body].min(), x[body].max()
    tail = body & (x >= x_body_max - TAIL_FRACTION * (x_body_max - x_body_min))
    trailing = np.zeros(len(centres), dtype=bool)
    wing = ~body
    if wing.any():
        edges = np.linspace(y[wing].min(), y[wing].max(), SPAN_BINS + 1)
        for lo, hi in zip(edges[:-1], edges[1:]):
            station = wing & (y >= lo) & (y <= hi)
            if station.sum() < 4:
                continue
            x_le, x_te = x[station].min(), x[station].max()
            trailing |= station & (x >= x_te - TRAILING_FRACTION * (x_te - x_le))
    return {"tail_cone": tail, "wing_trailing_edge": trailing}


def body_half_width(surface, centres):
    """Half width of the body: the widest surface just aft of the wing tip's trailing edge,
    where only the body is (an aircraft without tails there)."""
    tip = mesh_sizing.find_tip(surface.points[np.unique(surface.polygons)])
    tip_te_x = float(tip.trailing_edge[0])
    length = centres[:, 0].max() - centres[:, 0].min()
    behind = (centres[:, 0] > tip_te_x + 0.01 * length) & (centres[:, 0] < tip_te_x + 0.15 * length)
    if not behind.any():
        raise RuntimeError("no surface just behind the wing: cannot tell the body from the wing")
    return float(centres[behind, 1].max()) * 1.05


def check(case_dir):
    wall = y_plus.read_final(case_dir)
    if wall is None:
        raise RuntimeError(f"{case_dir} holds no final solution")
    surface = wall[0]
    time_name = foam_files.latest_time(case_dir)
    path = os.path.join(case_dir, time_name, FIELD)
    if not os.path.isfile(path):
        raise RuntimeError(f"{path} does not exist: the solution was solved without the wall shear stress")
    shear = patch_vectors(foam_files.read(path), y_plus.PATCH, len(surface))
    areas, centres = surface.areas(), surface.centroids()
    rev = reversed_faces(shear[:, 0], areas)
    half_width = body_half_width(surface, centres)
    report = {"case": case_dir, "body_half_width": half_width,
              "aircraft_reversed_area_pct": 100.0 * areas[rev].sum() / areas.sum()}
    for name, mask in regions(centres, half_width).items():
        area = areas[mask].sum()
        report[f"{name}_reversed_area_pct"] = 100.0 * areas[mask & rev].sum() / area if area > 0 else None
        hit = mask & rev
        if hit.any():
            report[f"{name}_reversed_x_range"] = [float(centres[hit, 0].min()), float(centres[hit, 0].max())]
            report[f"{name}_reversed_y_range"] = [float(centres[hit, 1].min()), float(centres[hit, 1].max())]
    return report


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    print(json.dumps(check(argv[1]), indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
