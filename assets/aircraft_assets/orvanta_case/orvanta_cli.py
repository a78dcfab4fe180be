"""The rules the host owns, asked of the orvanta executable so that each has one
implementation: freestream reference values, the solver-log reader, the file suffixes of
spanwise stations and the wing's reference geometry.

The executable is the one the environment variable ORVANTA_BIN names (the host's runner
sets it), else `orvanta` on PATH.
"""

import json
import os
import shutil
import subprocess


class OrvantaError(RuntimeError):
    pass


def executable():
    exe = os.environ.get("ORVANTA_BIN") or shutil.which("orvanta")
    if not exe:
        raise OrvantaError("cannot find the orvanta executable: set ORVANTA_BIN or put orvanta on PATH")
    return exe


def run_json(arguments):
    """Runs `orvanta <arguments>` and returns its standard output read as JSON."""
    command = [executable()] + [str(a) for a in arguments]
    try:
        result = subprocess.run(command, capture_output=True, text=True)
    except OSError as error:
        raise OrvantaError(f"cannot run {command[0]}: {error.strerror}") from error
    if result.returncode != 0:
        raise OrvantaError(f"`{' '.join(command)}` failed with exit status {result.returncode}: "
                           f"{result.stderr.strip()}")
    try:
        return json.loads(result.stdout)
    except ValueError as error:
        raise OrvantaError(f"`{' '.join(command)}` printed no JSON: {result.stdout[:200]!r}") from error


def reference_values(mach_number):
    """{"reference_pressure", "pressure_coefficient_scale", "u0"} of the sea-level freestream."""
    return run_json(["reference-values", repr(float(mach_number))])


def log_summary(log_file):
    """The host's reading of a solver log: "cd", "cl", "cm", "residuals", "n_primal_runs",
    "n_iterations", "has_nan_inf"."""
    return run_json(["log", "summary", log_file])


def profile_suffixes(fractions):
    return run_json(["profile-suffixes"] + [repr(float(f)) for f in fractions])


def reference_geometry(vsp3_file):
    """The wing's reference geometry measured on an OpenVSP model."""
    return run_json(["vsp", "info", vsp3_file])["reference_geometry"]
