"""Convergence figures of a flow solution: residual histories and force-coefficient
histories, read from the solver log by the host's reader (`orvanta log summary`)."""

import json
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from orvanta_case import convergence, orvanta_cli  # noqa: E402
from orvanta_case.primal_solution import SUMMARY_FILE  # noqa: E402

COEFFICIENTS = [
    ("cd", "CD", "Drag coefficient"),
    ("cl", "CL", "Lift coefficient"),
    ("cm", "CM", "Pitching-moment coefficient (about the MAC quarter chord)"),
]


def plot_dir(case_dir):
    path = os.path.join(case_dir, "plots")
    os.makedirs(path, exist_ok=True)
    return path


def _as_array(values):
    return np.array([np.nan if v is None else v for v in values], dtype=float)


def _run_starts(case_dir):
    """Iterations at which the flow driver restarted the solver (fixed-lift runs)."""
    path = os.path.join(case_dir, SUMMARY_FILE)
    if not os.path.isfile(path):
        return []
    with open(path, encoding="utf-8") as f:
        runs = json.load(f).get("runs", [])
    return list(np.cumsum([r["iterations"] for r in runs])[:-1])


def _mark_restarts(ax, starts):
    for i, start in enumerate(starts):
        ax.axvline(start + 0.5, color="0.5", linestyle=":", linewidth=1.0,
                   label="solver restart (new angle of attack)" if i == 0 else None)


def plot_residuals(case_dir, log_file):
    """plots/general_residual_cfd.png: the initial residual of every solved field."""
    summary = orvanta_cli.log_summary(os.path.join(case_dir, log_file))
    residuals = summary["residuals"]
    if not residuals:
        raise ValueError(f"{log_file} holds no residuals")
    fig, ax = plt.subplots(figsize=(10, 6.5), dpi=150)
    for name, history in residuals.items():
        values = _as_array(history)
        ax.semilogy(np.arange(1, len(values) + 1), values, linewidth=1.2, label=name)
    _mark_restarts(ax, _run_starts(case_dir))
    ax.set_xlabel("Iteration")
    ax.set_ylabel("Initial residual (normalised, -)")
    ax.set_title(f"Flow solution residuals ({summary['n_primal_runs']} primal run(s), "
                 f"{len(summary['cd'])} iterations)")
    ax.grid(True, which="both", color="0.9", linewidth=0.6)
    ax.legend(loc="upper right", ncol=2, fontsize=9)
    fig.tight_layout()
    path = os.path.join(plot_dir(case_dir), "general_residual_cfd.png")
    fig.savefig(path)
    plt.close(fig)
    return [path]


def _settled_limits(values):
    """y limits that leave out the first iterations' transients (the first tenth of the
    history, at least five iterations), which would flatten everything after them."""
    skip = max(5, len(values) // 10)
    rest = values[skip:] if len(values) > skip + 1 else values
    rest = rest[np.isfinite(rest)]
    if not len(rest):
        return None
    lo, hi = float(rest.min()), float(rest.max())
    pad = max(0.08 * (hi - lo), 1e-4 * max(abs(lo), abs(hi)), 1e-6)
    return lo - pad, hi + pad


def _plot_coefficient(case_dir, key, symbol, name, values, starts):
    iterations = np.arange(1, len(values) + 1)
    fig, (whole, final) = plt.subplots(1, 2, figsize=(13, 5.5), dpi=150, gridspec_kw={"width_ratios": [3, 2]})
    whole.plot(iterations, values, color="tab:blue", linewidth=1.2)
    limits = _settled_limits(values)
    if limits:
        whole.set_ylim(*limits)
    _mark_restarts(whole, starts)
    if starts:
        whole.legend(loc="upper right", fontsize=9)
    whole.set_title("Whole history (first iterations' transient cut off)", fontsize=11)
    window = min(convergence.WINDOW, len(values))
    tail = values[-window:]
    final.plot(iterations[-window:], tail, color="tab:blue", marker=".", markersize=3, linewidth=1.0)
    if window >= 2 and np.all(np.isfinite(tail)):
        std, slope = convergence.window_stats(list(tail))
        final.set_title(f"Final {window} iterations\nstandard deviation {std:.3g}, slope {slope:.3g} per iteration",
                        fontsize=11)
    else:
        final.set_title(f"Final {window} iteration(s)", fontsize=11)
    for ax in (whole, final):
        ax.set_xlabel("Iteration")
        ax.set_ylabel(f"{symbol} (-)")
        ax.grid(True, color="0.9", linewidth=0.6)
    fig.suptitle(f"{name} {symbol}: final value {values[-1]:.6g}", fontsize=14)
    fig.tight_layout()
    path = os.path.join(plot_dir(case_dir), f"general_function_{key}.png")
    fig.savefig(path)
    plt.close(fig)
    return path


def plot_functions(case_dir, log_file):
    """plots/general_function_{cd,cl,cm}.png: force-coefficient histories."""
    summary = orvanta_cli.log_summary(os.path.join(case_dir, log_file))
    starts = _run_starts(case_dir)
    written = []
    for key, symbol, name in COEFFICIENTS:
        values = _as_array(summary[key])
        if not len(values):
            raise ValueError(f"{log_file} holds no {symbol} history")
        written.append(_plot_coefficient(case_dir, key, symbol, name, values, starts))
    return written
