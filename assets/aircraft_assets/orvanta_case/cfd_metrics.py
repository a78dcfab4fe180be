"""The convergence metrics of a flow solution, from its solver log as the host reads it
(`orvanta log summary`), so that the review and this file never disagree on the log; the
split of the final drag into pressure and friction, from the same log line; and the
first-cell y+ on the aircraft, from the final fields."""

import json
import math
import os
import re

from orvanta_case import case_files, convergence, orvanta_cli, y_plus
from orvanta_case.primal_solution import SUMMARY_FILE

_NUMBER = r"[-+]?(?:\d+\.?\d*(?:[eE][-+]?\d+)?|\.\d+(?:[eE][-+]?\d+)?|(?i:nan|inf))"
# forceCoeffs: `        Cd       : 0.0499<TAB>(pressure: 0.0370<TAB>viscous: 0.0129)`. The total
# is matched as the host's reader matches it, so both count the same lines.
_DRAG_LINE = re.compile(rf"^\s*Cd\s*[:=]\s*({_NUMBER})(?:\s*\(pressure:\s*({_NUMBER})\s+viscous:\s*({_NUMBER})\))?")
# The host's reader skips longer lines: they cannot be solver output.
_MAX_SOLVER_LINE = 2048


def _finite(values):
    return all(isinstance(v, (int, float)) and math.isfinite(v) for v in values)


def drag_window(cd):
    """(values, standard deviation, slope) of the final window of the drag history; the
    window is the driver's stop window, or the whole history when it is shorter. None
    when there is no window (fewer than two values) or it holds a NaN/Inf."""
    if len(cd) < 2:
        return None
    values = cd[-convergence.WINDOW:]
    if not _finite(values):
        return None
    std, slope = convergence.window_stats(values)
    return values, std, slope


def residual_drop_orders(residuals):
    """log10(first / last initial residual) of each solved field; None where either end is
    missing, not positive or not finite."""
    drops = {}
    for name, history in residuals.items():
        first, last = (history[0], history[-1]) if len(history) >= 2 else (None, None)
        if _finite([first, last]) and first > 0 and last > 0:
            drops[name] = math.log10(first / last)
        else:
            drops[name] = None
    return drops


def _last(values):
    return values[-1] if values else None


def drag_parts(log_text, final_cd):
    """(cd_pressure, cd_viscous) of the iteration final_cd is taken from: the log's last drag
    line. The viscous part is final_cd minus the printed pressure part, so that the two add
    up to final_cd whatever the print rounding; it differs from the printed viscous part by
    that rounding only. (None, None) without a final drag or without parts on its line."""
    last = None
    for line in log_text.split("\n"):
        line = line[:-1] if line.endswith("\r") else line
        if len(line) > _MAX_SOLVER_LINE:
            continue
        match = _DRAG_LINE.match(line)
        if match:
            last = match
    if final_cd is None or last is None:
        return None, None
    if float(last.group(1)) != final_cd:
        raise ValueError(f"the log's last drag line gives CD {last.group(1)}, but the host read {final_cd!r}")
    if last.group(2) is None or not math.isfinite(float(last.group(2))):
        return None, None
    pressure = float(last.group(2))
    return pressure, final_cd - pressure


def cfd_metrics(case_dir, log_file, wall=None):
    """The metrics; `wall` is the (aircraft surface, y+ values) of y_plus.read_final, or None."""
    log_path = os.path.join(case_dir, log_file)
    summary = orvanta_cli.log_summary(log_path)
    cd = summary["cd"]
    window = drag_window(cd)
    cd_pressure, cd_viscous = drag_parts(case_files.read_text(log_path), _last(cd))
    metrics = {
        "has_nan_inf": bool(summary["has_nan_inf"]),
        "cd_stddev": window[1] if window else None,
        "residual_drop_orders": residual_drop_orders(summary["residuals"]),
        "n_primal_runs": summary["n_primal_runs"],
        "final_cd": _last(cd),
        "final_cl": _last(summary["cl"]),
        "final_cm": _last(summary["cm"]),
        "cd_window": len(window[0]) if window else 0,
        "cd_slope": window[2] if window else None,
        "n_iterations": len(cd),
        "cd_pressure": cd_pressure,
        "cd_viscous": cd_viscous,
        "y_plus": y_plus.statistics(wall[1], wall[0].areas()) if wall else None,
        "log_file": log_file,
    }
    solution_path = os.path.join(case_dir, SUMMARY_FILE)
    if os.path.isfile(solution_path):
        with open(solution_path, encoding="utf-8") as f:
            solution = json.load(f)
        for key in ("angle_of_attack", "converged", "lift_met", "solver_name", "turbulence_model"):
            metrics["final_" + key if key == "angle_of_attack" else key] = solution.get(key)
    return metrics


def summary_line(metrics):
    drops = [v for v in metrics["residual_drop_orders"].values() if v is not None]
    weakest = f"{min(drops):.2f}" if drops else "n/a"
    std = "n/a" if metrics["cd_stddev"] is None else f"{metrics['cd_stddev']:.3g}"
    return (f"CFD: CD {metrics['final_cd']}, CL {metrics['final_cl']}, CM {metrics['final_cm']}; CD standard "
            f"deviation {std} over {metrics['cd_window']} iterations; weakest residual drop {weakest} orders; "
            f"{metrics['n_primal_runs']} primal run(s); NaN/Inf: {metrics['has_nan_inf']}{_wall_text(metrics)}")


def _wall_text(metrics):
    text = ""
    if metrics.get("cd_pressure") is not None:
        text += f"; CD pressure {metrics['cd_pressure']:.6g}, viscous {metrics['cd_viscous']:.6g}"
    wall = metrics.get("y_plus")
    if wall:
        text += f"; y+ {wall['min']:.3g} to {wall['max']:.3g}, area-weighted mean {wall['mean']:.3g}"
    return text
