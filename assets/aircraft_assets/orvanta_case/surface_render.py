"""Display-free drawings of surfaces with matplotlib: orthographic projection, Lambert
shading and the painter's algorithm (faces drawn far to near).

This needs no X server and no GPU, and draws a few hundred thousand faces in seconds;
faces are small next to the aircraft, so ordering them by their centres hides what a
depth buffer would hide.
"""

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.collections import PolyCollection  # noqa: E402

AXIS_NAMES = "xyz"


class View:
    """An orthographic camera: `direction` points from the camera into the scene."""

    def __init__(self, direction, up):
        d = np.asarray(direction, dtype=float)
        self.direction = d / np.linalg.norm(d)
        right = np.cross(self.direction, np.asarray(up, dtype=float))
        self.right = right / np.linalg.norm(right)
        self.up = np.cross(self.right, self.direction)

    def project(self, points):
        """Screen coordinates (right, up) and depth towards the camera of points (..., 3)."""
        return points @ self.right, points @ self.up, -(points @ self.direction)

    def screen_axis(self, vector):
        """(axis index, sign) when a screen vector runs along a coordinate axis, else None."""
        i = int(np.argmax(np.abs(vector)))
        if abs(vector[i]) < 1 - 1e-9:
            return None
        return i, float(np.sign(vector[i]))

    def is_axis_aligned(self):
        return self.screen_axis(self.right) is not None and self.screen_axis(self.up) is not None

    def light(self):
        """Light from over the viewer's left shoulder."""
        l = -self.direction + 0.6 * self.up - 0.4 * self.right
        return l / np.linalg.norm(l)


class Layer:
    """Faces of one kind, drawn in one colour (and optionally with their edges)."""

    def __init__(self, surface, color, edge_color=None, edge_width=0.0):
        self.surface = surface
        self.color = np.asarray(matplotlib.colors.to_rgb(color))
        self.edge_color = edge_color
        self.edge_width = edge_width

    def edge_colors(self, screen_polygons, pixels_per_unit):
        """Edge colours that fade out on faces only a few pixels across, where a full-strength
        outline would paint the face solid dark; faces of ten pixels or more keep it."""
        rgba = np.asarray(matplotlib.colors.to_rgba(self.edge_color))
        span = screen_polygons.max(axis=1) - screen_polygons.min(axis=1)
        size = np.max(span, axis=1) * pixels_per_unit
        colors = np.tile(rgba, (len(screen_polygons), 1))
        colors[:, 3] *= np.clip((size - 2.0) / 8.0, 0.12, 1.0)
        return colors


def shaded_colors(normals, base, view):
    intensity = 0.30 + 0.70 * np.abs(normals @ view.light())  # two-sided
    return np.clip(base[None, :] * intensity[:, None], 0.0, 1.0)


def pixels_per_unit(ax):
    """Screen pixels per model length unit of an equal-aspect axes whose limits are set."""
    width_pixels = ax.get_position().width * ax.figure.get_size_inches()[0] * ax.figure.dpi
    x0, x1 = ax.get_xlim()
    return width_pixels / abs(x1 - x0)


def draw_layers(ax, layers, view):
    """Draws all layers' faces in one depth order, so that layers hide each other properly.
    The axes limits must be set first: edge fading depends on the scale."""
    scale = pixels_per_unit(ax)
    polys, depths, faces, edges, widths = [], [], [], [], []
    for layer in layers:
        s = layer.surface
        if not len(s):
            continue
        u, v, _ = view.project(s.corners())
        screen = np.stack([u, v], axis=-1)
        polys.append(screen)
        depths.append(view.project(s.centroids())[2])
        face_colors = np.column_stack([shaded_colors(s.normals(), layer.color, view), np.ones(len(s))])
        faces.append(face_colors)
        if layer.edge_color:
            edges.append(layer.edge_colors(screen, scale))
            widths.append(np.full(len(s), layer.edge_width))
        else:
            # Outlines in the face colour close the hairline seams that antialiasing
            # leaves between neighbouring faces.
            edges.append(face_colors)
            widths.append(np.full(len(s), 0.3))
    if not polys:
        return
    width = max(p.shape[1] for p in polys)
    polys = [np.concatenate([p, np.repeat(p[:, -1:], width - p.shape[1], axis=1)], axis=1) for p in polys]
    order = np.argsort(np.concatenate(depths), kind="stable")
    collection = PolyCollection(np.concatenate(polys)[order], facecolors=np.concatenate(faces)[order],
                                edgecolors=np.concatenate(edges)[order], linewidths=np.concatenate(widths)[order],
                                antialiaseds=True)
    ax.add_collection(collection)


def faces_in_window(surface, view, window):
    """Faces whose screen outline overlaps the window (u0, u1, v0, v1): what a zoomed axes
    shows, so that it need not sort and draw the rest."""
    u, v, _ = view.project(surface.corners())
    u0, u1, v0, v1 = window
    overlaps = (u.max(axis=1) >= u0) & (u.min(axis=1) <= u1) & (v.max(axis=1) >= v0) & (v.min(axis=1) <= v1)
    return surface.subset(overlaps)


def box_aspect(ax):
    """Width over height of the axes on the page."""
    box = ax.get_position()
    fig_w, fig_h = ax.figure.get_size_inches()
    return (box.width * fig_w) / (box.height * fig_h)


def set_window(ax, window):
    u0, u1, v0, v1 = window
    ax.set_xlim(u0, u1)
    ax.set_ylim(v0, v1)
    ax.set_aspect("equal", adjustable="box")


def frame(ax, view, surfaces, fill_fraction):
    """Fits the drawn surfaces into the axes so that they fill `fill_fraction` of them."""
    points = np.concatenate([s.points[np.unique(s.polygons)] for s in surfaces if len(s)])
    u, v, _ = view.project(points)
    cu, cv = 0.5 * (u.min() + u.max()), 0.5 * (v.min() + v.max())
    half_u = 0.5 * (u.max() - u.min()) / fill_fraction
    half_v = 0.5 * (v.max() - v.min()) / fill_fraction
    aspect = box_aspect(ax)
    half_u, half_v = max(half_u, half_v * aspect), max(half_v, half_u / aspect)
    ax.set_xlim(cu - half_u, cu + half_u)
    ax.set_ylim(cv - half_v, cv + half_v)
    ax.set_aspect("equal", adjustable="box")


def label_axes(ax, view, unit="m"):
    """Coordinate axes for views along an axis; a small axis triad for oblique views."""
    if view.is_axis_aligned():
        for vector, set_label, axis in ((view.right, ax.set_xlabel, ax.xaxis), (view.up, ax.set_ylabel, ax.yaxis)):
            i, sign = view.screen_axis(vector)
            set_label(f"{AXIS_NAMES[i]} [{unit}]")
            if sign < 0:
                # Screen coordinate is -coordinate: show true coordinates on the ticks.
                axis.set_major_formatter(matplotlib.ticker.FuncFormatter(
                    lambda t, _: f"{-t + 0.0:g}".replace("-", "\u2212")))
        ax.grid(True, color="0.85", linewidth=0.5)
        ax.set_axisbelow(True)
        return
    ax.set_xticks([])
    ax.set_yticks([])
    for spine in ax.spines.values():
        spine.set_visible(False)
    triad = ax.inset_axes([0.0, 0.0, 0.12, 0.12])
    triad.set_xlim(-1.4, 1.4)
    triad.set_ylim(-1.4, 1.4)
    triad.set_aspect("equal")
    triad.axis("off")
    for i, color in enumerate(("tab:red", "tab:green", "tab:blue")):
        e = np.eye(3)[i]
        u, v = float(e @ view.right), float(e @ view.up)
        triad.annotate("", xy=(u, v), xytext=(0, 0), arrowprops=dict(arrowstyle="->", color=color, lw=1.5))
        triad.text(1.2 * u, 1.2 * v, AXIS_NAMES[i], color=color, ha="center", va="center", fontsize=10)


def new_figure(title, subtitle):
    fig = plt.figure(figsize=(12, 8), dpi=150)
    ax = fig.add_axes([0.07, 0.08, 0.9, 0.82])
    fig.suptitle(title, fontsize=16, y=0.975)
    fig.text(0.5, 0.915, subtitle, ha="center", fontsize=11, color="0.3")
    return fig, ax


def save(fig, path):
    fig.savefig(path, dpi=150)
    plt.close(fig)
