"""The convergence metrics of a flow solution, from its solver log as the host reads it
(`orvanta log summary`), so that the review and this file never disagree on the log."""

import json
import math
import os

from orvanta_case import convergence, orvanta_cli
from orvanta_case.primal_solution import SUMMARY_FILE


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


def cfd_metrics(case_dir, log_file):
    summary = orvanta_cli.log_summary(os.path.join(case_dir, log_file))
    cd = summary["cd"]
    window = drag_window(cd)
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
            f"{metrics['n_primal_runs']} primal run(s); NaN/Inf: {metrics['has_nan_inf']}")
