"""Chordwise pressure distributions: the aircraft surface cut by planes y = const, Cp
against x/c on the upper and lower surface of the wing section.

At a station the plane may also cut other parts (a fuselage near the root, a tail). The
wing's section is taken as the largest-chord cut curve that is thin (height under a third
of its length) and that the plane crosses rather than grazes: where a plane y = const
slices the side of a fuselage, the surface it cuts faces sideways (mostly along y), while
a wing's surfaces face up and down.
"""

import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from orvanta_case import orvanta_cli  # noqa: E402
from orvanta_case.convergence_plots import plot_dir  # noqa: E402

MAX_THICKNESS_RATIO = 1.0 / 3.0
# Largest mean |n_y| of the faces along a cut curve that still counts as a crossing.
MAX_SIDEWAYS_NORMAL = 0.5


def _read_boundary(path):
    import vtk

    if not os.path.isfile(path):
        raise FileNotFoundError(f"{path} does not exist")
    reader = vtk.vtkXMLPolyDataReader()
    reader.SetFileName(path)
    reader.Update()
    data = reader.GetOutput()
    if data.GetNumberOfPolys() == 0:
        raise ValueError(f"{path} holds no polygons")
    if data.GetCellData().GetArray("p") is None:
        raise ValueError(f"{path} has no cell field p")
    return data


def _with_face_normals(data):
    import vtk

    normals = vtk.vtkPolyDataNormals()
    normals.SetInputData(data)
    normals.ComputeCellNormalsOn()
    normals.ComputePointNormalsOff()
    normals.SplittingOff()
    normals.ConsistencyOff()
    normals.AutoOrientNormalsOff()
    normals.Update()
    return normals.GetOutput()


def section_segments(data, y):
    """Line segments where the plane y = const cuts the surface: (n, 2, 3) end points, the
    pressure of the face each segment crosses and that face's |n_y|."""
    import vtk
    from vtk.util.numpy_support import vtk_to_numpy

    plane = vtk.vtkPlane()
    plane.SetOrigin(0.0, y, 0.0)
    plane.SetNormal(0.0, 1.0, 0.0)
    cutter = vtk.vtkCutter()
    cutter.SetCutFunction(plane)
    cutter.SetInputData(data)
    cutter.Update()
    cut = cutter.GetOutput()
    if cut.GetNumberOfLines() == 0:
        return np.zeros((0, 2, 3)), np.zeros(0), np.zeros(0)
    points = vtk_to_numpy(cut.GetPoints().GetData()).astype(float)
    lines = vtk_to_numpy(cut.GetLines().GetConnectivityArray()).reshape(-1, 2)
    pressure = vtk_to_numpy(cut.GetCellData().GetArray("p")).astype(float)
    sideways = np.abs(vtk_to_numpy(cut.GetCellData().GetArray("Normals"))[:, 1])
    return points[lines], pressure, sideways


def _components(segments, tolerance):
    """Groups segments into connected curves by shared end points."""
    ends = np.round(segments.reshape(-1, 3) / tolerance).astype(np.int64)
    _, point_ids = np.unique(ends, axis=0, return_inverse=True)
    point_ids = point_ids.reshape(-1, 2)
    parent = list(range(point_ids.max() + 1))

    def find(i):
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i

    for a, b in point_ids:
        ra, rb = find(a), find(b)
        if ra != rb:
            parent[ra] = rb
    roots = np.array([find(a) for a, _ in point_ids])
    return [np.flatnonzero(roots == r) for r in np.unique(roots)]


def wing_section(segments, pressure, sideways):
    """(x/c, pressure, is_upper, chord, leading edge) of the wing's cut curve, or None when
    the plane crosses no thin curve."""
    if not len(segments):
        return None
    extent = float(np.ptp(segments.reshape(-1, 3), axis=0).max())
    best = None
    for index in _components(segments, max(extent, 1e-12) * 1e-7):
        pts = segments[index].reshape(-1, 3)
        length = float(np.ptp(pts[:, 0]))
        if length <= 0 or float(np.ptp(pts[:, 2])) > MAX_THICKNESS_RATIO * length:
            continue
        if float(np.mean(sideways[index])) > MAX_SIDEWAYS_NORMAL:
            continue
        if best is None or length > best[1]:
            best = (index, length)
    if best is None:
        return None
    index, chord = best
    pts = segments[index].reshape(-1, 3)
    leading, trailing = pts[np.argmin(pts[:, 0])], pts[np.argmax(pts[:, 0])]
    mid = segments[index].mean(axis=1)
    x_over_c = (mid[:, 0] - leading[0]) / chord
    chord_line_z = leading[2] + (trailing[2] - leading[2]) * x_over_c
    is_upper = mid[:, 2] >= chord_line_z
    return x_over_c, pressure[index], is_upper, chord, leading


def _draw_sides(ax, section, cp, prefix, style):
    x_over_c, _, is_upper, _, _ = section
    for mask, name, color in ((is_upper, "upper surface", "tab:blue"), (~is_upper, "lower surface", "tab:red")):
        order = np.argsort(x_over_c[mask])
        ax.plot(x_over_c[mask][order], cp[mask][order], color=color, label=prefix + name, **style)


def _plot_station(path, section, y, fraction, reference_pressure, scale, lower, upper, source, baseline=None):
    """`baseline`: the same station of the design an optimization started from, drawn thin and
    dashed behind it, so the change is seen at a glance."""
    x_over_c, p, is_upper, chord, leading = section
    cp = (p - reference_pressure) / scale
    fig, ax = plt.subplots(figsize=(10, 6.5), dpi=150)
    if baseline is not None:
        base_cp = (baseline[1] - reference_pressure) / scale
        _draw_sides(ax, baseline, base_cp, "baseline ", {"linestyle": "--", "linewidth": 1.0, "alpha": 0.6})
        cp_all = np.concatenate([cp, base_cp])
    else:
        cp_all = cp
    _draw_sides(ax, section, cp, "optimized " if baseline is not None else "",
                {"marker": ".", "markersize": 4, "linewidth": 1.2})
    ax.set_xlim(-0.02, 1.02)
    # Suction (negative Cp) upwards; the range is widened where the data go beyond it.
    pad = 0.05 * (upper - lower)
    ax.set_ylim(max(upper, float(cp_all.max()) + pad), min(lower, float(cp_all.min()) - pad))
    ax.axhline(0.0, color="0.6", linewidth=0.8)
    ax.set_xlabel("x/c (-)")
    ax.set_ylabel("Pressure coefficient Cp (-)")
    ax.set_title(f"Chordwise pressure at y = {y:.4g} m ({fraction:.0%} of the semi-span)")
    shown = source + (" (dashed: its baseline)" if baseline is not None else "")
    ax.text(0.99, 0.02, f"{shown}: chord {chord:.4g} m, leading edge at x = {leading[0]:.4g} m, "
            f"z = {leading[2]:.4g} m", transform=ax.transAxes, ha="right", va="bottom", fontsize=9, color="0.3")
    ax.grid(True, color="0.9", linewidth=0.6)
    ax.legend(loc="lower right", bbox_to_anchor=(1.0, 0.06))
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def _baseline_beside(case_dir, mesh_file):
    """An optimized surface's baseline (<name>_baseline.vtp beside <name>_optimized.vtp), if any."""
    if not mesh_file.endswith("_optimized.vtp"):
        return None
    path = os.path.join(case_dir, mesh_file[: -len("_optimized.vtp")] + "_baseline.vtp")
    return _with_face_normals(_read_boundary(path)) if os.path.isfile(path) else None


def plot_pressure_profiles(case_dir, mesh_file, stations, fractions, reference_pressure, scale, lower, upper):
    """plots/aircraft_pressure_profile_<suffix>.png for each station y (with its fraction of
    the semi-span); suffixes from the host (`orvanta profile-suffixes`)."""
    if len(stations) != len(fractions):
        raise ValueError(f"{len(stations)} spanwise positions but {len(fractions)} fractions")
    if not stations:
        return []
    if scale == 0:
        raise ValueError("the pressure-coefficient scale must not be zero")
    data = _with_face_normals(_read_boundary(os.path.join(case_dir, mesh_file)))
    baseline_data = _baseline_beside(case_dir, mesh_file)
    suffixes = orvanta_cli.profile_suffixes(fractions)
    written, missed = [], []
    for y, fraction, suffix in zip(stations, fractions, suffixes):
        section = wing_section(*section_segments(data, y))
        if section is None:
            missed.append(f"{y:g}")
            continue
        baseline = wing_section(*section_segments(baseline_data, y)) if baseline_data is not None else None
        path = os.path.join(plot_dir(case_dir), f"aircraft_pressure_profile_{suffix}.png")
        _plot_station(path, section, y, fraction, reference_pressure, scale, lower, upper, mesh_file, baseline)
        written.append(path)
    if missed:
        # The stations that were cut are drawn first: one bad station should not cost the others.
        raise ValueError(f"no wing section at y = {', '.join(missed)} in {mesh_file} "
                         f"({len(written)} other station(s) drawn)")
    return written
