"""The variables the optimizer moves: chosen design-variable parameters of the case's
vsp_design_vars.json, and the angle of attack, each scaled to the half-width of its range.

The choice comes from the advanced parameter `optimization_design_variables`: a list of
design-variable keys ("Wing:XSec_1:Twist"), each optionally with indices into the key's
values ("Wing:UpperCoeff:Au[7]", "Wing:UpperCoeff:Au[0,6]", "Wing:UpperCoeff:Au[6..11]");
null means every parameter of every key.
"""

import re
from dataclasses import dataclass

import numpy as np

ANGLE_OF_ATTACK = "angle_of_attack"
# Parameters measured in degrees move by up to this much either way.
ANGLE_HALF_WIDTH = 5.0
ANGLE_NAMES = {"Twist", "Sweep", "Dihedral", "Incidence", "Sec_Sweep", "X_Rel_Rotation", "Y_Rel_Rotation",
               "Z_Rel_Rotation"}
ANGLE_OF_ATTACK_HALF_WIDTH = 10.0
ANGLE_OF_ATTACK_LIMITS = (-10.0, 20.0)
# Other parameters move by up to this fraction of their value, and at least this fraction of
# the largest value of their key (a CST coefficient near zero still gets room).
RELATIVE_HALF_WIDTH = 0.25
KEY_RELATIVE_FLOOR = 0.05

_SELECTION = re.compile(r"^\s*([^\[\]]+?)\s*(?:\[([^\]]*)\])?\s*$")


@dataclass
class DesignVariable:
    name: str       # key, key[index] for list-valued keys, or "angle_of_attack"
    key: object     # the design-variable key; None for the angle of attack
    index: int      # position in the key's values
    parameter: str  # "Group:Name" of the engine parameter
    baseline: float
    lower: float
    upper: float
    half_width: float


def _indices(text, count, key):
    if text is None:
        return list(range(count))
    out = []
    for part in text.split(","):
        part = part.strip()
        m = re.fullmatch(r"(-?\d+)\s*\.\.\s*(-?\d+)", part)
        if m:
            a, b = int(m.group(1)), int(m.group(2))
            out.extend(range(a, b + 1) if b >= a else range(a, b - 1, -1))
        elif re.fullmatch(r"-?\d+", part):
            out.append(int(part))
        else:
            raise ValueError(f"optimization_design_variables: `{key}[{text}]` has an index that is not an "
                             "integer or a range i..j")
    for i in out:
        if not 0 <= i < count:
            raise ValueError(f"optimization_design_variables: index {i} of `{key}` is outside 0..{count - 1}")
    return out


def parse_selection(selection, entries):
    """(key, index) pairs in the order given, repeats dropped; every pair when `selection`
    is None."""
    if selection is None:
        return [(key, i) for key, entry in entries.items() for i in range(len(entry["values"]))]
    if isinstance(selection, str):
        selection = [selection]
    if not isinstance(selection, list) or not all(isinstance(s, str) for s in selection):
        raise ValueError("optimization_design_variables must be null or a list of design-variable keys, "
                         f"got {selection!r}")
    pairs = []
    for item in selection:
        m = _SELECTION.match(item)
        key = m.group(1) if m else item
        if not m or key not in entries:
            raise ValueError(f"optimization_design_variables names `{item}`, which is not a key of "
                             f"vsp_design_vars.json ({', '.join(entries)})")
        for i in _indices(m.group(2), len(entries[key]["values"]), key):
            if (key, i) not in pairs:
                pairs.append((key, i))
    if not pairs:
        raise ValueError("optimization_design_variables selects no design variable")
    return pairs


def _half_width(parameter, value, key_values):
    name = parameter.split(":")[-1]
    if name in ANGLE_NAMES:
        return ANGLE_HALF_WIDTH
    return max(RELATIVE_HALF_WIDTH * abs(value), KEY_RELATIVE_FLOOR * max(abs(v) for v in key_values), 1e-3)


class DesignSpace:
    def __init__(self, entries, selection, angle_of_attack):
        self.entries = entries
        self.variables = []
        for key, i in parse_selection(selection, entries):
            e = entries[key]
            value = float(e["values"][i])
            hw = _half_width(e["parameters"][i], value, e["values"])
            lower = max(value - hw, float(e["lower"][i]))
            upper = min(value + hw, float(e["upper"][i]))
            name = key if len(e["values"]) == 1 else f"{key}[{i}]"
            self.variables.append(DesignVariable(name, key, i, e["parameters"][i], value, lower, upper, hw))
        a = float(angle_of_attack)
        self.variables.append(DesignVariable(
            ANGLE_OF_ATTACK, None, 0, ANGLE_OF_ATTACK, a, max(a - ANGLE_OF_ATTACK_HALF_WIDTH, ANGLE_OF_ATTACK_LIMITS[0]),
            min(a + ANGLE_OF_ATTACK_HALF_WIDTH, ANGLE_OF_ATTACK_LIMITS[1]), ANGLE_OF_ATTACK_HALF_WIDTH))

    def __len__(self):
        return len(self.variables)

    def recentre_angle(self, angle_of_attack):
        """Moves the angle of attack's baseline (and range) to a trimmed angle."""
        a = float(angle_of_attack)
        v = self.variables[-1]
        v.baseline = a
        v.lower = max(a - ANGLE_OF_ATTACK_HALF_WIDTH, ANGLE_OF_ATTACK_LIMITS[0])
        v.upper = min(a + ANGLE_OF_ATTACK_HALF_WIDTH, ANGLE_OF_ATTACK_LIMITS[1])

    @property
    def names(self):
        return [v.name for v in self.variables]

    @property
    def shape_variables(self):
        return [k for k, v in enumerate(self.variables) if v.key is not None]

    def x0(self):
        return np.zeros(len(self))

    def bounds(self):
        """(lower, upper) arrays of the scaled variables."""
        lo = np.array([(v.lower - v.baseline) / v.half_width for v in self.variables])
        hi = np.array([(v.upper - v.baseline) / v.half_width for v in self.variables])
        return lo, hi

    def physical(self, x):
        return np.array([v.baseline + v.half_width * float(s) for v, s in zip(self.variables, x)])

    def angle_of_attack(self, x):
        return float(self.physical(x)[-1])

    def shape_values(self, x):
        """{key: full list of values} for every key with a chosen parameter: what
        apply-design-vars writes into the baseline model."""
        values = {}
        physical = self.physical(x)
        for v, p in zip(self.variables, physical):
            if v.key is None:
                continue
            values.setdefault(v.key, [float(a) for a in self.entries[v.key]["values"]])[v.index] = float(p)
        return values

    def same_shape(self, x, y):
        idx = self.shape_variables
        return bool(np.array_equal(np.asarray(x)[idx], np.asarray(y)[idx]))

    def all_values(self, x):
        """Every design-variable key (a number for single-parameter keys, else a list) and the
        angle of attack, at the scaled point x."""
        values = {key: [float(a) for a in e["values"]] for key, e in self.entries.items()}
        values.update(self.shape_values(x))
        out = {key: (v[0] if len(v) == 1 else v) for key, v in values.items()}
        out[ANGLE_OF_ATTACK] = self.angle_of_attack(x)
        return out
