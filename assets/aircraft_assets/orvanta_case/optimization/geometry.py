"""The geometry engine's shape commands, as the optimizer uses them: design variables and
their ranges, changed models, wing sizes and the movement of located surface points.
Each is an `orvanta vsp` subcommand, so the geometry rules have one implementation."""

import json
import os
import subprocess

from orvanta_case import orvanta_cli


def _run(arguments):
    command = [orvanta_cli.executable()] + [str(a) for a in arguments]
    try:
        result = subprocess.run(command, capture_output=True, text=True)
    except OSError as error:
        raise orvanta_cli.OrvantaError(f"cannot run {command[0]}: {error.strerror}") from error
    if result.returncode != 0:
        raise orvanta_cli.OrvantaError(f"`{' '.join(command)}` failed with exit status {result.returncode}: "
                                       f"{result.stderr.strip()}")
    return result.stdout


def design_variables(config_file, model_file):
    """{key: {"parameters", "values", "lower", "upper"}} in configuration order."""
    return orvanta_cli.run_json(["vsp", "design-vars", config_file, model_file])


def apply_design_variables(config_file, baseline_model, values, output_model):
    """Writes the model `values` ({key: list of values}) make of the baseline."""
    values_file = output_model + ".values.json"
    with open(values_file, "w", encoding="utf-8") as f:
        json.dump(values, f)
    _run(["vsp", "apply-design-vars", config_file, baseline_model, values_file, "-o", output_model])
    os.remove(values_file)


def measure_wing(model_file, component="Wing"):
    """{"volume", "stations", "sections": [{"chord", "max_thickness", "le_radius", "thickness"}]}."""
    return orvanta_cli.run_json(["vsp", "measure", model_file, "--component", component])


def locate_points(model_file, points_file, locations_file):
    """Locates the points (one `x y z` per line) on the model; returns the summary."""
    return json.loads(_run(["vsp", "locate", model_file, points_file, "-o", locations_file]))


def displace_points(baseline_model, design_model, locations_file, displacements_file):
    """Writes `dx dy dz` per located point; returns the summary (largest move per component)."""
    return json.loads(_run(["vsp", "displace", baseline_model, design_model, locations_file,
                            "-o", displacements_file]))
