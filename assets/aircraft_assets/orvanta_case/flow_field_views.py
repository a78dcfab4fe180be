"""3D figures of a surface flow field: the aircraft coloured by the pressure coefficient or
the relative speed, with the symmetry plane around it coloured by the same quantity; and
the aircraft coloured by first-cell y+, seen from above and from below.

The plotted quantity is (field - reference) * scaling, the field being p for "Cp" and |U|
for "U". On a no-slip wall the speed is zero everywhere, so for "U" the symmetry plane is
what shows the flow; a quantity that is constant on the aircraft is drawn in neutral grey
and its value named in the subtitle, since a single colour would only hide the shape.
"""

import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.cm  # noqa: E402
import matplotlib.colors  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.collections import PolyCollection  # noqa: E402

from orvanta_case import surface_render as render  # noqa: E402
from orvanta_case.convergence_plots import plot_dir  # noqa: E402
from orvanta_case.mesh_sizing import y_plus_at  # noqa: E402
from orvanta_case.surfaces import read_vtp, symmetry_plane_mask  # noqa: E402
from orvanta_case.y_plus import fraction_between, statistics  # noqa: E402

# From ahead, outboard and well above: the wing's upper surface, where the suction is, faces
# the camera.
VIEW = render.View((0.6, -1.0, -1.8), (0, 0, 1))
NEUTRAL = (0.72, 0.72, 0.72)
COLORMAP = "jet"
DEFAULT_LABELS = {"Cp": "Cp", "U": "(|U|-U0)/U0"}
# The underside, from the same side and as steeply below.
VIEW_BELOW = render.View((0.6, -1.0, 1.8), (0, 0, 1))
# One fixed logarithmic scale, so that figures of a grid study compare at a glance.
Y_PLUS_RANGE = (1.0, 1e4)
# Where wall functions hold: marked on the colour bar.
WALL_FUNCTION_RANGE = (30.0, 100.0)
Y_PLUS_FIGURE = "aircraft_surface_y_plus.png"


def read_cell_field(path, field):
    """The surface of a foamToVTK boundary file and one cell field on it (|U| for "U")."""
    import vtk
    from vtk.util.numpy_support import vtk_to_numpy

    surface = read_vtp(path)
    reader = vtk.vtkXMLPolyDataReader()
    reader.SetFileName(path)
    reader.Update()
    name = "p" if field == "Cp" else "U"
    array = reader.GetOutput().GetCellData().GetArray(name)
    if array is None:
        raise ValueError(f"{path} has no cell field {name}")
    values = vtk_to_numpy(array).astype(float)
    if values.ndim == 2:
        values = np.linalg.norm(values, axis=1)
    return surface, values


def _near(surface, lo, hi, margin):
    c = surface.centroids()
    return ((c[:, 0] >= lo[0] - margin) & (c[:, 0] <= hi[0] + margin) &
            (c[:, 2] >= lo[2] - margin) & (c[:, 2] <= hi[2] + margin))


def _shade(rgb, surface, view):
    intensity = 0.55 + 0.45 * np.abs(surface.normals() @ view.light())
    return np.clip(rgb * intensity[:, None], 0.0, 1.0)


def _draw(ax, parts, view):
    """Draws (surface, rgb, shaded) parts far to near in one depth order. The flat symmetry
    plane is left unshaded: its colours are data, not shape."""
    polys, depths, colors = [], [], []
    for surface, rgb, shaded in parts:
        if not len(surface):
            continue
        u, v, _ = view.project(surface.corners())
        polys.append(np.stack([u, v], axis=-1))
        depths.append(view.project(surface.centroids())[2])
        colors.append(np.column_stack([_shade(rgb, surface, view) if shaded else rgb, np.ones(len(surface))]))
    width = max(p.shape[1] for p in polys)
    polys = [np.concatenate([p, np.repeat(p[:, -1:], width - p.shape[1], axis=1)], axis=1) for p in polys]
    order = np.argsort(np.concatenate(depths), kind="stable")
    faces = np.concatenate(colors)[order]
    ax.add_collection(PolyCollection(np.concatenate(polys)[order], facecolors=faces, edgecolors=faces,
                                     linewidths=0.3, antialiaseds=True))


def plot_surface_field(mesh_file, output, field, lower, upper, reference, scaling, label, title_note=""):
    surface, raw = read_cell_field(mesh_file, field)
    quantity = (raw - reference) * scaling
    on_plane = symmetry_plane_mask(surface)
    aircraft = surface.subset(~on_plane)
    if not len(aircraft):
        raise ValueError(f"{mesh_file} holds no aircraft faces")
    lo, hi = aircraft.bounds()
    near = on_plane & _near(surface, lo, hi, 0.12 * float(np.max(hi - lo)))
    plane = surface.subset(near)
    plane = plane.subset(np.abs(plane.normals() @ VIEW.direction) >= 0.05)

    norm = matplotlib.colors.Normalize(vmin=lower, vmax=upper, clip=True)
    cmap = matplotlib.colormaps[COLORMAP]
    on_aircraft = quantity[~on_plane]
    uniform = float(np.ptp(on_aircraft)) <= 1e-9 * max(1.0, float(np.max(np.abs(on_aircraft))))
    aircraft_rgb = (np.tile(NEUTRAL, (len(aircraft), 1)) if uniform else cmap(norm(on_aircraft))[:, :3])
    plane_rgb = cmap(norm(quantity[near]))[:, :3]
    plane_rgb = 0.75 * plane_rgb + 0.25  # lighter, so the aircraft stands out in front of it

    outside = int(np.count_nonzero((on_aircraft < lower) | (on_aircraft > upper)))
    wall = ", no-slip wall" if field == "U" else ""
    detail = (f"aircraft surface: {label} = {on_aircraft[0]:.3g} everywhere (grey{wall})" if uniform else
              f"aircraft surface: {label} from {on_aircraft.min():.3g} to {on_aircraft.max():.3g}, "
              f"{outside:,} of {len(on_aircraft):,} faces outside the colour range")
    fig, ax = render.new_figure(f"Surface flow field: {label}{title_note}",
                                f"{os.path.basename(mesh_file)}: {detail}; lighter: symmetry plane y = 0")
    ax.set_position([0.02, 0.05, 0.82, 0.83])
    render.frame(ax, VIEW, [aircraft, plane], 0.92)
    _draw(ax, [(plane, plane_rgb, False), (aircraft, aircraft_rgb, True)], VIEW)
    render.label_axes(ax, VIEW)
    bar_axes = fig.add_axes([0.87, 0.15, 0.022, 0.65])
    bar = fig.colorbar(matplotlib.cm.ScalarMappable(norm=norm, cmap=cmap), cax=bar_axes, extend="both")
    bar.set_label(label, fontsize=12)
    render.save(fig, output)
    return output


def plot_flow_field(case_dir, field, mesh_files, lower, upper, reference, scaling, label=None):
    """plots/aircraft_flow_field_<field>_3d.png, or with two surfaces (an optimization's
    baseline and optimized designs) ..._3d_baseline.png and ..._3d_optimized.png in one
    colour range."""
    if field not in DEFAULT_LABELS:
        raise ValueError(f"unknown flow field {field!r}: expected Cp or U")
    if not lower < upper:
        raise ValueError(f"the colour range needs -var_lower < -var_upper, got {lower} and {upper}")
    label = label or DEFAULT_LABELS[field]
    if len(mesh_files) == 1:
        names = [("", "")]
    elif len(mesh_files) == 2:
        names = [("_baseline", " (baseline design)"), ("_optimized", " (optimized design)")]
    else:
        raise ValueError(f"expected one surface file, or two (baseline and optimized), got {len(mesh_files)}")
    written = []
    for mesh_file, (suffix, note) in zip(mesh_files, names):
        output = os.path.join(plot_dir(case_dir), f"aircraft_flow_field_{field}_3d{suffix}.png")
        written.append(plot_surface_field(os.path.join(case_dir, mesh_file), output, field, lower, upper,
                                          reference, scaling, label, note))
    return written


def y_plus_note(mean, reynolds, others=(3e5, 3e6, 1e7)):
    """What the same mesh gives at other Reynolds numbers: the mean y+ scaled with the flat
    plate's friction velocity at a fixed first-cell height (y+ ~ Re sqrt(cf / 2))."""
    if not reynolds or reynolds <= 0:
        return ""
    here = y_plus_at(reynolds, 1.0, 1.0)
    scaled = ", ".join(f"{mean * y_plus_at(r, 1.0, 1.0) / here:.3g} at {r:.0e}" for r in others)
    return (f"Solved at Re {reynolds:.3g} per reference length. "
            f"The same mesh would give a mean y+ of about {scaled}.")


def plot_y_plus(case_dir, surface, values, areas, reynolds=None):
    """plots/aircraft_surface_y_plus.png: the aircraft's faces coloured by first-cell y+ on a
    log scale, upper side on the left, lower side on the right; with the Reynolds number of
    the solution, a note of what other Reynolds numbers would give."""
    stats = statistics(values, areas)
    if stats is None:
        raise ValueError("no finite y+ on the aircraft to draw")
    norm = matplotlib.colors.LogNorm(*Y_PLUS_RANGE, clip=True)
    cmap = matplotlib.colormaps[COLORMAP]
    rgb = cmap(norm(np.clip(values, *Y_PLUS_RANGE)))[:, :3]
    inside = fraction_between(values, areas, *WALL_FUNCTION_RANGE)
    low, high = WALL_FUNCTION_RANGE
    fig, ax = render.new_figure(
        "First-cell y+ on the aircraft",
        f"y+ from {stats['min']:.3g} to {stats['max']:.3g}, area-weighted mean {stats['mean']:.3g}; "
        f"{100 * inside:.0f} % of the surface in the wall-function range {low:g} to {high:g} (white lines)")
    ax.remove()
    for i, (view, side) in enumerate(((VIEW, "upper side"), (VIEW_BELOW, "lower side"))):
        panel = fig.add_axes([0.01 + 0.425 * i, 0.05, 0.42, 0.8])
        render.frame(panel, view, [surface], 0.95)
        _draw(panel, [(surface, rgb, True)], view)
        render.label_axes(panel, view)
        panel.set_title(side, fontsize=12)
    note = y_plus_note(stats["mean"], reynolds)
    if note:
        fig.text(0.45, 0.015, note, ha="center", fontsize=10, color="0.3")
    bar_axes = fig.add_axes([0.89, 0.15, 0.022, 0.65])
    bar = fig.colorbar(matplotlib.cm.ScalarMappable(norm=norm, cmap=cmap), cax=bar_axes, extend="both")
    for level in WALL_FUNCTION_RANGE:
        bar.ax.axhline(level, color="white", linewidth=2)
    bar.set_label("y+ (first cell)", fontsize=12)
    output = os.path.join(plot_dir(case_dir), Y_PLUS_FIGURE)
    render.save(fig, output)
    return output
