"""What the host recorded about a case that the flow driver needs beyond its command line:
the wing's reference geometry (mean-aerodynamic-chord position, aspect ratio, sweep)."""

import json
import math
import os

from orvanta_case import orvanta_cli

INPUTS_FILE = os.path.join(".orvanta", "inputs.json")
GEOMETRY_KEYS = ("mac_le_x", "mac_le_z", "aspect_ratio", "le_sweep_deg", "taper_ratio")


def reference_geometry(case_dir):
    """The bound inputs' reference geometry (merged in by the prepare phase); measured on
    the case's aircraft.vsp3 when the case was not prepared by the host."""
    path = os.path.join(case_dir, INPUTS_FILE)
    if os.path.isfile(path):
        with open(path, encoding="utf-8") as f:
            inputs = json.load(f)
        if all(isinstance(inputs.get(k), (int, float)) for k in GEOMETRY_KEYS):
            return inputs
    model = os.path.join(case_dir, "aircraft.vsp3")
    if not os.path.isfile(model):
        raise FileNotFoundError(f"neither {path} with the reference geometry nor {model} exists")
    return orvanta_cli.reference_geometry(model)


def moment_centre(geometry, reference_length):
    """The quarter-chord point of the mean aerodynamic chord, in the symmetry plane."""
    return (float(geometry["mac_le_x"]) + 0.25 * reference_length, 0.0, float(geometry["mac_le_z"]))


def half_chord_sweep_deg(geometry):
    """Sweep of the mid-chord line of a straight-tapered wing, from its leading-edge sweep:
    tan L_c/2 = tan L_le - 2 (1 - taper) / (A (1 + taper))."""
    aspect, taper = float(geometry["aspect_ratio"]), float(geometry["taper_ratio"])
    tan_le = math.tan(math.radians(float(geometry["le_sweep_deg"])))
    return math.degrees(math.atan(tan_le - 2.0 * (1.0 - taper) / (aspect * (1.0 + taper))))
