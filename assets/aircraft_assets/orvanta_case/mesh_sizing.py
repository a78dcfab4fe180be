"""The aircraft-dependent numbers of the mesh: its reference length and the refinement
regions behind the wing, and the first prism-layer height that would put the first cell in
the wall-function range.

The geometry script writes them to system/aircraftSizing after exporting the surface; the
snappyHexMesh dictionaries include that file and derive the shells and regions from it and
from the levels the mesh run sets. The layer height is written for reference and for the
y+ figure's scaling: the layer pass still sizes layers relative to the surface cells,
because eight layers of this height overwhelm the curvature-refined cells at level 7.
"""

import math
from dataclasses import dataclass

import numpy as np

# The layer height is chosen for the flow skill's default Reynolds number per mean
# aerodynamic chord. Other Reynolds numbers scale y+ by roughly (Re / 1e6)^0.9.
DESIGN_REYNOLDS = 1.0e6
# First-cell y+ (at the cell centre, as OpenFOAM's yPlus reports it) aimed at: the middle,
# in the logarithmic sense, of the 30-100 band where wall functions are trusted.
TARGET_Y_PLUS = 55.0
# Where along the chord the friction velocity is estimated, as a fraction of the chord.
FRICTION_STATION = 0.5

# Wake region behind the wing, in mean aerodynamic chords (its length reaches the tail of
# a conventional aircraft).
WAKE_UPSTREAM = 0.25
WAKE_LENGTH = 4.0
WAKE_HALF_HEIGHT = 0.2
WAKE_SPAN_MARGIN = 0.3
# The wake convects with the freestream: room above for angles of attack up to ~4 deg.
WAKE_RISE_SLOPE = 0.07
# Tip-vortex tube: from ahead of the tip trailing edge downstream.
VORTEX_UPSTREAM = 0.5
VORTEX_LENGTH = 3.0
VORTEX_RADIUS = 0.15
# Points within this fraction of the semi-span from the tip count as the tip.
TIP_BAND = 0.03

SIZING_FILE = "system/aircraftSizing"


def schlichting_cf(reynolds_x):
    """Local skin-friction coefficient of a turbulent flat plate,
    cf = (2 log10 Re_x - 0.65)^-2.3."""
    if reynolds_x <= 1.0:
        raise ValueError(f"a Reynolds number above 1 is needed, got {reynolds_x}")
    return (2.0 * math.log10(reynolds_x) - 0.65) ** -2.3


def first_layer_thickness(reference_length, reynolds=DESIGN_REYNOLDS, y_plus=TARGET_Y_PLUS):
    """Height of the first prism layer whose centre lies at `y_plus` wall units, with the
    friction velocity of a flat plate at FRICTION_STATION of the reference chord:
    u_tau / U = sqrt(cf / 2), y_centre = y+ nu / u_tau, nu = U L / Re."""
    if reference_length <= 0.0:
        raise ValueError(f"the reference length must be positive, got {reference_length}")
    friction_ratio = math.sqrt(0.5 * schlichting_cf(FRICTION_STATION * reynolds))
    return 2.0 * y_plus * reference_length / (reynolds * friction_ratio)


def y_plus_at(reynolds, thickness, reference_length):
    """The centre y+ that a first layer of `thickness` gives at another Reynolds number."""
    friction_ratio = math.sqrt(0.5 * schlichting_cf(FRICTION_STATION * reynolds))
    return 0.5 * thickness * reynolds * friction_ratio / reference_length


@dataclass
class WingTip:
    trailing_edge: np.ndarray  # the tip's aftmost point
    semi_span: float


def find_tip(points):
    """The wing tip of a half model (y >= 0): the aftmost point among those within
    TIP_BAND of the largest y. A model whose widest part is not the wing is sized as if it
    were: the regions then cover that part's wake."""
    points = np.asarray(points, dtype=float)
    semi_span = float(points[:, 1].max())
    if semi_span <= 0.0:
        raise ValueError("the surface has no point at y > 0: not a half model")
    band = points[points[:, 1] >= (1.0 - TIP_BAND) * semi_span]
    return WingTip(band[np.argmax(band[:, 0])], semi_span)


def trailing_edge_at(points, station, semi_span):
    """The aftmost surface point within TIP_BAND of the semi-span around y = station."""
    band = points[np.abs(points[:, 1] - station) <= TIP_BAND * semi_span]
    if len(band) == 0:
        raise ValueError(f"the surface has no point near y = {station:.6g}")
    return band[np.argmax(band[:, 0])]


def sizing(points, geometry):
    """Everything system/aircraftSizing holds, as {name: number or 3-vector}. `geometry` is
    the wing's reference geometry (reference_length, root_chord, tip_chord, le_sweep_deg)."""
    points = np.asarray(points, dtype=float)
    low, high = points.min(axis=0), points.max(axis=0)
    L = float(geometry["reference_length"])
    tip = find_tip(points)
    x_te, z_te = float(tip.trailing_edge[0]), float(tip.trailing_edge[2])
    # Inboard trailing edge of a straight-tapered wing, from its planform; its height
    # from the dihedral seen between mid-span and tip.
    x_te_root = x_te - (tip.semi_span * math.tan(math.radians(float(geometry["le_sweep_deg"])))
                        + float(geometry["tip_chord"]) - float(geometry["root_chord"]))
    z_mid = float(trailing_edge_at(points, 0.5 * tip.semi_span, tip.semi_span)[2])
    z_root = 2.0 * z_mid - z_te
    wake_x0 = min(x_te_root, x_te) - WAKE_UPSTREAM * L
    wake_x1 = x_te + WAKE_LENGTH * L
    z_low = min(z_te, z_root) - WAKE_HALF_HEIGHT * L
    z_high = max(z_te, z_root) + WAKE_HALF_HEIGHT * L + WAKE_RISE_SLOPE * (wake_x1 - wake_x0)
    vortex_start = tip.trailing_edge + np.array([-VORTEX_UPSTREAM * L, 0.0, 0.0])
    vortex_end = tip.trailing_edge + np.array([VORTEX_LENGTH * L, 0.0, WAKE_RISE_SLOPE * VORTEX_LENGTH * L])
    return {
        "referenceLength": L,
        "designReynolds": DESIGN_REYNOLDS,
        "targetYPlus": TARGET_Y_PLUS,
        "firstLayerThickness": first_layer_thickness(L),
        "aircraftMin": low,
        "aircraftMax": high,
        "tipTrailingEdge": tip.trailing_edge,
        "wakeMin": np.array([wake_x0, 0.0, z_low]),
        "wakeMax": np.array([wake_x1, tip.semi_span + WAKE_SPAN_MARGIN * L, z_high]),
        "vortexStart": vortex_start,
        "vortexEnd": vortex_end,
        "vortexRadius": VORTEX_RADIUS * L,
    }


def _entry(name, value):
    if isinstance(value, np.ndarray):
        return f"{name:<20}({' '.join(f'{c:.8g}' for c in value)});"
    return f"{name:<20}{value:.8g};"


def dictionary_text(values, source):
    lines = [
        "FoamFile\n{\n    version     2.0;\n    format      ascii;\n    class       dictionary;\n"
        "    object      aircraftSizing;\n}\n",
        f"// Written by script_generate_geometry.py from {source}: the aircraft's size and",
        f"// regions, and the first prism layer for y+ {TARGET_Y_PLUS:g} at Reynolds number "
        f"{DESIGN_REYNOLDS:g} per reference length.",
    ]
    lines += [_entry(name, value) for name, value in values.items()]
    return "\n".join(lines) + "\n"
