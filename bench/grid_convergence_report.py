#!/usr/bin/env python3
"""Grid-convergence report of a set of flow cases of one aircraft at one lift coefficient:
a table per mesh, the observed order of convergence, the Richardson-extrapolated drag with
its grid-convergence index (Roache's GCI, safety factor 1.25 for three grids), the span
efficiency of a two-lift polar, and a figure of CD against cell size.

    grid_convergence_report.py WORK_DIR OUT_DIR LEVEL... [--polar ASPECT_RATIO CASE_A CASE_B] [--lift CL]

Each level's mesh case is WORK_DIR/mesh_l<level>, its flow case WORK_DIR/cfd_l<level>;
both have been analysed (their metrics files exist). Mesh and solver wall times come from
WORK_DIR/times.txt lines "<case> <seconds>" (whole runs); the solver's own wall time
from the flow solution's runs.
"""

import argparse
import json
import math
import os
import sys

# Roache's safety factor for a study of three or more grids.
GCI_SAFETY = 1.25


def representative_size(cells):
    """h = N^(-1/3): the cell size of a mesh relative to a unit volume, the usual measure
    for unstructured grids."""
    return cells ** (-1.0 / 3.0)


def observed_order(f_fine, f_mid, f_coarse, ratio_fine, ratio_coarse):
    """Observed order p of three solutions on grids refined by ratio_fine (mid to fine) and
    ratio_coarse (coarse to mid); equal ratios give p = ln(e32 / e21) / ln r. Unequal ratios
    are solved by fixed-point iteration (Celik et al., J. Fluids Eng. 130, 2008). None when
    the differences change sign (oscillatory convergence) or vanish."""
    e21, e32 = f_mid - f_fine, f_coarse - f_mid
    if e21 == 0.0 or e32 == 0.0 or (e32 / e21) <= 0.0:
        return None
    sign = 1.0
    p = abs(math.log(abs(e32 / e21))) / math.log(ratio_fine)
    for _ in range(100):
        q = math.log((ratio_fine ** p - sign) / (ratio_coarse ** p - sign))
        new = abs(math.log(abs(e32 / e21)) + q) / math.log(ratio_fine)
        if abs(new - p) < 1e-10:
            return new
        p = new
    return p


def richardson(f_fine, f_mid, ratio, order):
    """(extrapolated value, GCI of the fine grid as a fraction of f_fine)."""
    factor = ratio ** order - 1.0
    extrapolated = f_fine + (f_fine - f_mid) / factor
    gci = GCI_SAFETY * abs((f_mid - f_fine) / f_fine) / factor
    return extrapolated, gci


def span_efficiency(cl_a, cd_a, cl_b, cd_b, aspect_ratio):
    """Total-drag span efficiency of a two-point polar, CD = CD0 + CL^2 / (pi e A):
    e = (CL_b^2 - CL_a^2) / (pi A (CD_b - CD_a))."""
    k = polar_factor(cl_a, cd_a, cl_b, cd_b)
    if k == 0.0:
        raise ValueError("the two points have the same drag: no polar slope")
    return 1.0 / (math.pi * aspect_ratio * k)


def polar_factor(cl_a, cd_a, cl_b, cd_b):
    """k of the parabolic polar CD = CD0 + k CL^2 through two points."""
    if cl_a ** 2 == cl_b ** 2:
        raise ValueError("the two points have the same lift: no polar slope")
    return (cd_b - cd_a) / (cl_b ** 2 - cl_a ** 2)


def move_to_lift(row, target, k):
    """A level solved at a fixed angle, its drag moved to the target lift along the parabolic
    polar (the change is induced drag, so it is pressure drag)."""
    shift = -k * (row["cl"] ** 2 - target ** 2)
    row = dict(row, cd=row["cd"] + shift, cd_lift_shift=shift)
    if row["cd_pressure"] is not None:
        row["cd_pressure"] += shift
    return row


def _load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def _times(work):
    times = {}
    path = os.path.join(work, "times.txt")
    if os.path.isfile(path):
        for line in open(path, encoding="utf-8"):
            words = line.split()
            if len(words) == 2:
                times[words[0]] = float(words[1])
    return times


def case_row(work, level, times):
    mesh = _load(os.path.join(work, f"mesh_l{level}", "mesh_analysis_metrics.json"))
    cfd_dir = os.path.join(work, f"cfd_l{level}")
    cfd = _load(os.path.join(cfd_dir, "cfd_analysis_metrics.json"))
    flow = _load(os.path.join(cfd_dir, "flow_solution.json"))
    y_plus = cfd.get("y_plus") or {}
    return {
        "level": level, "cells": mesh["n_cells"], "h": representative_size(mesh["n_cells"]),
        "mesh_s": times.get(f"mesh_l{level}"), "cfd_s": times.get(f"cfd_l{level}"),
        "solver_s": sum(run["seconds"] for run in flow["runs"]),
        "cd": cfd["final_cd"], "cd_pressure": cfd.get("cd_pressure"), "cd_viscous": cfd.get("cd_viscous"),
        "cl": cfd["final_cl"], "alpha": flow["angle_of_attack"], "iterations": flow["iterations"],
        "converged": flow["converged"], "y_plus_min": y_plus.get("min"), "y_plus_mean": y_plus.get("mean"),
        "y_plus_max": y_plus.get("max"), "layer_coverage_pct": mesh.get("layer_coverage_pct"),
        "layers_mean": mesh.get("layers_mean"),
    }


def _fmt(value, pattern):
    return "-" if value is None else format(value, pattern)


def table(rows):
    head = (f"{'level':>5} {'cells':>9} {'mesh_s':>7} {'cfd_s':>7} {'solve_s':>7} {'iters':>5} {'alpha':>7} {'CL':>8} "
            f"{'CD':>9} {'CDp':>9} {'CDv':>9} {'y+min':>6} {'y+mean':>6} {'y+max':>6} {'layers%':>7} {'layers':>6}")
    lines = [head]
    for r in rows:
        lines.append(
            f"{r['level']:>5} {r['cells']:>9} {_fmt(r['mesh_s'], '7.0f')} {_fmt(r['cfd_s'], '7.0f')} "
            f"{r['solver_s']:7.0f} "
            f"{r['iterations']:>5} {r['alpha']:7.3f} {r['cl']:8.5f} {r['cd']:9.6f} {_fmt(r['cd_pressure'], '9.6f')} "
            f"{_fmt(r['cd_viscous'], '9.6f')} {_fmt(r['y_plus_min'], '6.1f')} {_fmt(r['y_plus_mean'], '6.1f')} "
            f"{_fmt(r['y_plus_max'], '6.0f')} {_fmt(r['layer_coverage_pct'], '7.1f')} {_fmt(r['layers_mean'], '6.2f')}")
    return "\n".join(lines)


def convergence_summary(rows):
    """The study's numbers from the three finest grids (rows sorted coarse to fine)."""
    summary = {}
    if len(rows) >= 2:
        mid, fine = rows[-2], rows[-1]
        summary["cd_change_pct_last"] = 100.0 * (fine["cd"] - mid["cd"]) / mid["cd"]
    if len(rows) >= 3:
        coarse, mid, fine = rows[-3], rows[-2], rows[-1]
        r21, r32 = mid["h"] / fine["h"], coarse["h"] / mid["h"]
        p = observed_order(fine["cd"], mid["cd"], coarse["cd"], r21, r32)
        summary["observed_order"] = p
        if p is not None:
            extrapolated, gci = richardson(fine["cd"], mid["cd"], r21, p)
            summary["cd_extrapolated"] = extrapolated
            summary["gci_fine_pct"] = 100.0 * gci
            summary["fine_vs_extrapolated_pct"] = 100.0 * (fine["cd"] - extrapolated) / extrapolated
    return summary


def plot(rows, summary, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, ax = plt.subplots(figsize=(7, 4.5), dpi=120)
    h = [r["h"] * 1e2 for r in rows]
    ax.plot(h, [r["cd"] * 1e4 for r in rows], "o-", label="CD (total)")
    if all(r["cd_pressure"] is not None for r in rows):
        ax.plot(h, [r["cd_pressure"] * 1e4 for r in rows], "s--", label="CD pressure")
        ax.plot(h, [r["cd_viscous"] * 1e4 for r in rows], "^--", label="CD friction")
    for r, x in zip(rows, h):
        ax.annotate(f"level {r['level']}\n{r['cells'] / 1e6:.2f} M", (x, r["cd"] * 1e4),
                    textcoords="offset points", xytext=(6, 6), fontsize=8)
    if summary.get("cd_extrapolated") is not None:
        ax.plot([0.0], [summary["cd_extrapolated"] * 1e4], "*", markersize=12,
                label=f"Richardson, p = {summary['observed_order']:.2f}, GCI {summary['gci_fine_pct']:.1f} %")
    ax.set_xlim(0.0, 1.15 * max(h))
    ax.set_xlabel("cell size h = N^(-1/3)  [x 1e-2]")
    ax.set_ylabel("drag coefficient [counts, 1e-4]")
    cl = rows[-1]["cl"]
    ax.set_title(f"Packaged aircraft, CL {cl:.3f}: drag against cell size")
    ax.grid(True, alpha=0.3)
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("work")
    parser.add_argument("out")
    parser.add_argument("levels", nargs="+", type=int)
    parser.add_argument("--polar", nargs=3, metavar=("ASPECT_RATIO", "CASE_A", "CASE_B"))
    parser.add_argument("--lift", type=float, help="compare the drags at this lift coefficient, each moved "
                        "there along the polar (for levels solved at a fixed angle)")
    args = parser.parse_args(argv)
    times = _times(args.work)
    rows = [case_row(args.work, level, times) for level in sorted(args.levels)]
    polar = {}
    if args.polar:
        aspect, a, b = float(args.polar[0]), args.polar[1], args.polar[2]
        ma = _load(os.path.join(args.work, a, "cfd_analysis_metrics.json"))
        mb = _load(os.path.join(args.work, b, "cfd_analysis_metrics.json"))
        points = (ma["final_cl"], ma["final_cd"], mb["final_cl"], mb["final_cd"])
        polar = {"polar_cases": [a, b], "span_efficiency": span_efficiency(*points, aspect),
                 "polar_k": polar_factor(*points)}
    if args.lift is not None:
        if not polar:
            parser.error("--lift needs --polar: the drag moves along the polar's slope")
        rows = [move_to_lift(r, args.lift, polar["polar_k"]) for r in rows]
        polar["cd_moved_to_lift"] = {r["level"]: r["cd_lift_shift"] for r in rows}
    summary = dict(convergence_summary(rows), **polar)
    os.makedirs(args.out, exist_ok=True)
    text = table(rows) + "\n\n" + json.dumps(summary, indent=2)
    print(text)
    with open(os.path.join(args.out, "grid_convergence.txt"), "w", encoding="utf-8") as f:
        f.write(text + "\n")
    plot(rows, summary, os.path.join(args.out, "grid_convergence_cd.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
