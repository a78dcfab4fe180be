"""The geometry and mesh figures of a mesh case: four views of the aircraft surface and four
of the surface mesh (aircraft patch and the symmetry plane around it)."""

import os

import matplotlib.patches
import numpy as np

from orvanta_case import surface_render as render
from orvanta_case.surfaces import read_surface, split_long_triangles, symmetry_plane_mask

AIRCRAFT_COLOR = (0.60, 0.70, 0.85)
SYMMETRY_COLOR = (0.86, 0.86, 0.84)
EDGE_COLOR = (0.10, 0.12, 0.18, 0.85)

# Cameras look along `direction`. Side views of the half model look from +y, where the
# aircraft half stands in front of the symmetry plane; the full aircraft is seen from -y.
GEOMETRY_VIEWS = [
    ("x", "front view", render.View((1, 0, 0), (0, 0, 1))),
    ("y", "side view", render.View((0, 1, 0), (0, 0, 1))),
    ("z", "top view", render.View((0, 0, -1), (0, 1, 0))),
    ("iso", "isometric view", render.View((1, -1.2, -0.9), (0, 0, 1))),
]
MESH_VIEWS = [
    ("x", "front view", render.View((1, 0, 0), (0, 0, 1))),
    ("y", "side view", render.View((0, -1, 0), (0, 0, 1))),
    ("z", "top view", render.View((0, 0, -1), (0, 1, 0))),
    ("3d", "3D view", render.View((1, -1.2, -0.9), (0, 0, 1))),
]


def _extent_text(lo, hi):
    length, span, height = hi - lo
    return f"length {length:.4g} m, span {span:.4g} m, height {height:.4g} m"


def _plot_dir(case_dir):
    path = os.path.join(case_dir, "plots")
    os.makedirs(path, exist_ok=True)
    return path


def plot_geometry_views(case_dir, geometry_file, camera_scale):
    """plots/aircraft_view_{x,y,z,iso}.png from the aircraft surface; returns the files."""
    surface = read_surface(os.path.join(case_dir, geometry_file))
    lo, hi = surface.bounds()
    layers = [render.Layer(split_long_triangles(surface, 0.01 * float(np.max(hi - lo))), AIRCRAFT_COLOR)]
    written = []
    for key, name, view in GEOMETRY_VIEWS:
        fig, ax = render.new_figure(f"Aircraft geometry: {name}",
                                    f"{geometry_file}: {len(surface):,} triangles, {_extent_text(lo, hi)}")
        render.frame(ax, view, [surface], camera_scale)
        render.draw_layers(ax, layers, view)
        render.label_axes(ax, view)
        path = os.path.join(_plot_dir(case_dir), f"aircraft_view_{key}.png")
        render.save(fig, path)
        written.append(path)
    return written


def _symmetry_faces_near(symmetry, lo, hi, margin):
    """Symmetry-plane faces whose centres lie within `margin` of the aircraft's x-z extent."""
    c = symmetry.centroids()
    near = ((c[:, 0] >= lo[0] - margin) & (c[:, 0] <= hi[0] + margin) &
            (c[:, 2] >= lo[2] - margin) & (c[:, 2] <= hi[2] + margin))
    return symmetry.subset(near)


def _facing(surface, view, min_cosine=0.05):
    """Faces not seen edge-on: edge-on faces draw as lines that only clutter the view."""
    return surface.subset(np.abs(surface.normals() @ view.direction) >= min_cosine)


def _wing_tip_window(aircraft, view, aspect):
    """Screen window just inboard of the wing tip, centred between the leading edge (where
    a wing's finest cells sit) and mid-chord; the tip is near the window's outboard side."""
    points = aircraft.points[np.unique(aircraft.polygons)]
    lo, hi = points.min(axis=0), points.max(axis=0)
    half = 0.06 * float(np.max(hi - lo))
    station = hi[1] - 0.6 * half
    band = points[np.abs(points[:, 1] - station) <= 0.02 * (hi[1] - lo[1])]
    if not len(band):
        band = points
    centre = 0.5 * (band[np.argmin(band[:, 0])] + band.mean(axis=0))
    u, v, _ = view.project(centre)
    return (u - half, u + half, v - half / aspect, v + half / aspect)


def _draw_detail(fig, ax, layers, view):
    """A magnified view of the wing tip beside the main view, whose cells at fine levels
    are too small to see whole-aircraft; a frame in the main view shows where it is."""
    detail = fig.add_axes([0.67, 0.2, 0.31, 0.52])
    window = _wing_tip_window(layers[0].surface, view, render.box_aspect(detail))
    render.set_window(detail, window)
    render.draw_layers(detail, [render.Layer(render.faces_in_window(l.surface, view, window), l.color,
                                             l.edge_color, l.edge_width) for l in layers], view)
    detail.set_xticks([])
    detail.set_yticks([])
    detail.set_title("Detail: wing tip", fontsize=11)
    u0, u1, v0, v1 = window
    ax.add_patch(matplotlib.patches.Rectangle((u0, v0), u1 - u0, v1 - v0, fill=False, color="tab:red", lw=1.2))
    for spine in detail.spines.values():
        spine.set_color("tab:red")


def plot_mesh_views(case_dir, mesh_file, camera_scale):
    """plots/aircraft_mesh_view_{x,y,z,3d}.png from the exported boundary; returns the files."""
    boundary = read_surface(os.path.join(case_dir, mesh_file))
    on_plane = symmetry_plane_mask(boundary)
    aircraft = boundary.subset(~on_plane)
    if not len(aircraft):
        raise ValueError(f"{mesh_file} holds no aircraft faces")
    lo, hi = aircraft.bounds()
    # Enough of the symmetry plane to show how the cells grade away from the aircraft.
    symmetry = _symmetry_faces_near(boundary.subset(on_plane), lo, hi, 0.15 * float(np.max(hi - lo)))

    written = []
    for key, name, view in MESH_VIEWS:
        plane = _facing(symmetry, view)
        layers = [render.Layer(aircraft, AIRCRAFT_COLOR, EDGE_COLOR, 0.15),
                  render.Layer(plane, SYMMETRY_COLOR, EDGE_COLOR, 0.15)]
        plane_text = (f", symmetry plane {len(plane):,} faces near the aircraft" if len(plane)
                      else ", symmetry plane y = 0 seen edge-on")
        fig, ax = render.new_figure(f"Surface mesh: {name}",
                                    f"{mesh_file}: aircraft {len(aircraft):,} faces{plane_text}")
        if key == "3d":
            ax.set_position([0.02, 0.05, 0.63, 0.85])
        render.frame(ax, view, [aircraft, plane], camera_scale)
        render.draw_layers(ax, layers, view)
        render.label_axes(ax, view)
        if key == "3d":
            _draw_detail(fig, ax, layers, view)
        path = os.path.join(_plot_dir(case_dir), f"aircraft_mesh_view_{key}.png")
        render.save(fig, path)
        written.append(path)
    return written
