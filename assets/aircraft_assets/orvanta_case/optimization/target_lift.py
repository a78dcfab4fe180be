"""Drag compared at exactly the target lift.

The optimizer meets the lift constraint only to its tolerance, and at CL 0.5 a lift error of
1e-3 is worth about 6e-5 in CD on the packaged aircraft: as large as a real shape
improvement. So the reported drags are moved to the target lift along the design's own
drag-lift slope at fixed shape, dCD/dCL = (dCD/dalpha) / (dCL/dalpha), both taken from the
gradient the optimizer computed with the angle of attack as a design variable.
"""

import math

from orvanta_case.optimization.design_space import ANGLE_OF_ATTACK


def finite(value):
    """True for a real number that is neither infinite nor NaN (booleans are not numbers here)."""
    return isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value)


def drag_lift_slopes(history):
    """{evaluation id: dCD/dCL} for every evaluation whose gradient has a usable angle-of-attack
    derivative. Empty when the angle of attack was not a design variable."""
    meta = history["meta"]
    names = [v.get("name") for v in meta.get("design_variables", [])]
    if ANGLE_OF_ATTACK not in names or not history["evaluations"]:
        return {}
    i = names.index(ANGLE_OF_ATTACK)
    # The gradients are of CD / CD of the first design and of (CL - target) / lift scale.
    cd0 = history["evaluations"][0]["cd"]
    target = meta.get("lift_target")
    lift_scale = meta.get("lift_scale") or (max(abs(float(target)), 0.1) if finite(target) else None)
    if not finite(cd0) or not finite(lift_scale):
        return {}
    slopes = {}
    for g in history["gradients"]:
        slope = slope_from_gradient(g["objective"], g["constraints"], i, cd0, lift_scale)
        if slope is not None:
            slopes[g["evaluation"]] = slope
    return slopes


def slope_from_gradient(objective_gradient, jacobian, index, cd0, lift_scale):
    """dCD/dCL from the optimizer's gradient of CD / cd0 and of the lift constraint
    (CL - target) / lift_scale (the jacobian's first row), at variable `index` (the angle of
    attack); None when that derivative is missing or zero."""
    try:
        dcd, dcl = objective_gradient[index] * cd0, jacobian[0][index] * lift_scale
    except (IndexError, TypeError, KeyError):
        return None
    if finite(dcd) and finite(dcl) and abs(dcl) > 1e-12:
        return float(dcd / dcl)
    return None


def slope_for(slopes, evaluation_id):
    """The slope at an evaluation, or at the nearest earlier one that has a gradient (a line
    search's trial points have none), else the earliest one known."""
    if not slopes:
        return None
    earlier = [k for k in slopes if k <= evaluation_id]
    return slopes[max(earlier)] if earlier else slopes[min(slopes)]


def cd_at_target(evaluation, target, slope):
    """CD of an evaluation moved to the target lift, or None when it cannot be."""
    cd, cl = evaluation.get("cd"), evaluation.get("cl")
    if not (finite(cd) and finite(cl) and finite(target) and finite(slope)):
        return None
    return cd - slope * (cl - float(target))
