"""optimization_analysis_metrics.json: what the optimization review grades and reports,
from the optimization history (OptView.hst), the optimizer's log, the run log as the host
reads it (`orvanta log summary`) and the scaling report.

Objective values are drag coefficients (trailing-window means of each design's solution);
feasibility is the largest constraint violation in the constraint's own units (lift
coefficient, or ratio to the baseline); residual drops are orders of magnitude from the
first, cold-started solution's first residual to the final solution's last one.
"""

import os
import re

from orvanta_case import orvanta_cli
from orvanta_case.cfd_metrics import residual_drop_orders
from orvanta_case.optimization import target_lift
from orvanta_case.optimization.history import read_history
from orvanta_case.optimization.target_lift import finite as _finite

# Fields an adjoint solver reports (adjoint velocity, pressure and turbulence variables).
ADJOINT_FIELD = re.compile(r"^(Ua[xyz]?|pa|nuaTilda|ka|omegaa|epsilona|Ta|rhoa)$")


def _exit_line(optimizer_log):
    """The optimizer log's own word on how it ended, for a history that has none."""
    if not os.path.isfile(optimizer_log):
        return None
    with open(optimizer_log, encoding="utf-8", errors="ignore") as f:
        lines = [line.strip() for line in f if line.strip()]
    for line in reversed(lines):
        if line.startswith(("Exit:", "EXIT:")):
            return line.split(":", 1)[1].strip()
    return lines[-1] if lines else None


def _history_has_nan(history):
    for e in history["evaluations"]:
        for key in ("cd", "cl", "cm", "objective", "feasibility"):
            if e[key] is not None and not _finite(e[key]):
                return True
    return False


def split_residuals(residuals):
    flow = {k: v for k, v in residuals.items() if not ADJOINT_FIELD.match(k)}
    adjoint = {k: v for k, v in residuals.items() if ADJOINT_FIELD.match(k)}
    return flow, adjoint


def optimization_metrics(case_dir, optimizer_log, hist_file, scaling_report, design_vars_file,
                         run_log="log_optimization.txt"):
    history = read_history(os.path.join(case_dir, hist_file))
    meta = history["meta"]
    evaluations = {e["id"]: e for e in history["evaluations"]}
    iterations = history["iterations"]
    summary = orvanta_cli.log_summary(os.path.join(case_dir, run_log))
    flow_residuals, adjoint_residuals = split_residuals(summary["residuals"])
    adjoint_drops = [d for d in residual_drop_orders(adjoint_residuals).values() if d is not None]

    baseline = evaluations.get(meta.get("baseline_evaluation"))
    final_id = meta.get("final_evaluation") or (iterations[-1]["evaluation"] if iterations else None)
    final = evaluations.get(final_id)
    last = history["evaluations"][-1] if history["evaluations"] else None
    optimality = [i["optimality"] for i in iterations if i["optimality"] is not None]
    at_target = drags_at_target_lift(history, baseline, final)
    reduction = _reduction_pct(*at_target["pair"])
    solves = meta.get("primal_solves")
    majors = [i["major"] for i in iterations if i["major"] > 0]
    metrics = {
        "has_nan_inf": bool(summary["has_nan_inf"]) or _history_has_nan(history),
        "objective_reduction_pct": reduction,
        "final_feasibility": final["feasibility"] if final else None,
        "flow_residual_drop_orders": residual_drop_orders(flow_residuals),
        "adjoint_residual_drop_orders": min(adjoint_drops) if adjoint_drops else None,
        "optimizer": meta.get("optimizer"),
        "exit_status": meta.get("exit_status") or _exit_line(os.path.join(case_dir, optimizer_log))
        or "unknown: the driver recorded no exit status",
        "objective_initial": baseline["cd"] if baseline else None,
        "objective_final": final["cd"] if final else None,
        "final_optimality": optimality[-1] if optimality else None,
        "last_primal_converged": bool(last["primal_converged"]) if last else None,
        "last_tol_val": last["cd_std"] if last else None,
        "last_tol_thr": meta.get("primal_std_tol"),
        "opt_iters": majors,
        "objective_initial_at_target_lift": at_target["baseline"],
        "objective_final_at_target_lift": at_target["final"],
        "drag_lift_slope": at_target["slope"],
        "reduction_basis": at_target["basis"],
        **_confirmation_metrics(meta.get("confirmation") or {}),
        "final_obj": {"CD": final["cd"], "scaled": final["objective"]} if final else None,
        "final_con": _constraint_values(meta, final),
        "baseline_design_variables": baseline["design"] if baseline else None,
        "optimized_design_variables": final["design"] if final else None,
        "primal_solves": solves,
        "primal_solves_per_iteration": round(solves / len(majors), 2) if solves and majors else None,
        "gradient": meta.get("gradient"),
        "optimized_variables": [v["name"] for v in meta.get("design_variables", [])],
        "wall_time_s": meta.get("wall_time"),
        "scaling_report": scaling_report if os.path.isfile(os.path.join(case_dir, scaling_report)) else None,
        "design_variable_config": design_vars_file,
    }
    return metrics


def _reduction_pct(before, after):
    if _finite(before) and _finite(after) and before != 0:
        return 100.0 * (before - after) / before
    return None


def drags_at_target_lift(history, baseline, final):
    """Baseline and final CD moved to the target lift along their own dCD/dCL; the drags as
    solved when no angle-of-attack derivative is known. "pair" is what the reduction uses."""
    target = history["meta"].get("lift_target")
    slopes = target_lift.drag_lift_slopes(history)
    out = {"baseline": None, "final": None, "slope": None}
    if baseline and final and slopes:
        slope = target_lift.slope_for(slopes, final["id"])
        out.update(baseline=target_lift.cd_at_target(baseline, target, target_lift.slope_for(slopes, baseline["id"])),
                   final=target_lift.cd_at_target(final, target, slope), slope=slope)
    if out["baseline"] is not None and out["final"] is not None:
        out.update(pair=(out["baseline"], out["final"]), basis="at the target lift")
    else:
        out.update(pair=(baseline["cd"] if baseline else None, final["cd"] if final else None),
                   basis="as solved: no angle-of-attack derivative to move the drags to the target lift")
    return out


def _confirmation_metrics(confirmation):
    """The result re-solved on a finer mesh (the driver's confirmation): None where it did not run."""
    baseline, optimized = confirmation.get("baseline") or {}, confirmation.get("optimized") or {}
    return {
        "confirmed_cd_baseline": baseline.get("cd"),
        "confirmed_cd_optimized": optimized.get("cd"),
        "confirmed_reduction_pct": confirmation.get("reduction_pct"),
        "confirmed_surface_level": optimized.get("surface_level"),
        "confirmed_cells": optimized.get("cells"),
        "confirmation_trusted": confirmation.get("trusted"),
        "confirmation_error": confirmation.get("error"),
    }


def _constraint_values(meta, final):
    if not final:
        return None
    values = {"CL": final["cl"], "CL_target": meta.get("lift_target"), "angle_of_attack": final["angle_of_attack"]}
    for group, smallest in (final["geometry"] or {}).items():
        values[f"{group}_ratio_min"] = smallest
        values[f"{group}_bound"] = meta.get("constraint_groups", {}).get(group)
    return values


def summary_line(metrics):
    reduction = metrics["objective_reduction_pct"]
    feasibility = metrics["final_feasibility"]
    return (f"optimization ({metrics['optimizer']}): {metrics['exit_status']}; CD {metrics['objective_initial']} -> "
            f"{metrics['objective_final']} ({'n/a' if reduction is None else f'{reduction:.3f} %'} reduction "
            f"{metrics['reduction_basis']}), "
            f"feasibility {'n/a' if feasibility is None else f'{feasibility:.3g}'}, "
            f"{len(metrics['opt_iters'])} major iterations, {metrics['primal_solves']} flow solutions")
