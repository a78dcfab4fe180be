"""Optimizer settings that are not on the driver's command line: advanced parameters of
run-aero-optimization, which the host writes resolved into <case>/.orvanta/
advanced_parameters.json ({name: {"value": ..., "description": ...}}). A case run outside
the host, or a parameter the file lacks, gets the defaults below."""

import json
import os

ADVANCED_PARAMETERS = os.path.join(".orvanta", "advanced_parameters.json")

DEFAULTS = {
    # null: every parameter of every design-variable key.
    "optimization_design_variables": None,
    # Finite-difference step as a fraction of each variable's half range.
    "optimization_fd_step": 0.05,
    # "forward" (one perturbed solution per variable) or "central" (two).
    "optimization_fd_scheme": "forward",
    # Surface levels above the optimization mesh at which the result is confirmed; 0: none.
    "optimization_confirmation_levels": 1,
}


def read_settings(case_dir):
    values = dict(DEFAULTS)
    path = os.path.join(case_dir, ADVANCED_PARAMETERS)
    if os.path.isfile(path):
        with open(path, encoding="utf-8") as f:
            stored = json.load(f)
        for name in DEFAULTS:
            entry = stored.get(name)
            if isinstance(entry, dict) and "value" in entry:
                values[name] = entry["value"]
    step = values["optimization_fd_step"]
    if values["optimization_fd_step"] is None:
        values["optimization_fd_step"] = DEFAULTS["optimization_fd_step"]
    elif not isinstance(step, (int, float)) or isinstance(step, bool) or not 0.0 < step <= 0.5:
        raise ValueError(f"optimization_fd_step must be a number in (0, 0.5], got {step!r}")
    if values["optimization_fd_scheme"] not in ("forward", "central"):
        raise ValueError(f"optimization_fd_scheme must be \"forward\" or \"central\", got "
                         f"{values['optimization_fd_scheme']!r}")
    levels = values["optimization_confirmation_levels"]
    if not isinstance(levels, int) or isinstance(levels, bool) or not 0 <= levels <= 2:
        raise ValueError(f"optimization_confirmation_levels must be 0, 1 or 2, got {levels!r}")
    return values
