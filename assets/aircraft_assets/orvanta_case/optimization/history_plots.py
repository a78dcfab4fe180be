"""Figures of an optimization history (OptView.hst): objective, lift, angle of attack,
feasibility and optimality per major iteration, the design variables' path, and the
adjoint residuals (or a figure that says no adjoint solution ran)."""

import os
import textwrap

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from orvanta_case import orvanta_cli  # noqa: E402
from orvanta_case.convergence_plots import plot_dir  # noqa: E402
from orvanta_case.optimization.analysis_metrics import split_residuals  # noqa: E402
from orvanta_case.optimization.confirmation_plot import plot_confirmation  # noqa: E402
from orvanta_case.optimization.history import read_history  # noqa: E402


def _values(rows, key):
    return np.array([np.nan if r[key] is None else r[key] for r in rows], dtype=float)


def _figure(case_dir, name, title, subtitle, draw):
    fig, ax = plt.subplots(figsize=(9, 5.5), dpi=150)
    draw(ax)
    ax.set_title(textwrap.fill(subtitle, 110), fontsize=10)  # long exit statuses stay inside the figure
    fig.suptitle(title, fontsize=13)
    ax.grid(True, which="both", color="0.9", linewidth=0.6)
    fig.tight_layout()
    path = os.path.join(plot_dir(case_dir), name)
    fig.savefig(path)
    plt.close(fig)
    return path


def _message(ax, text):
    ax.text(0.5, 0.5, text, ha="center", va="center", wrap=True, fontsize=12, transform=ax.transAxes)
    ax.set_xticks([])
    ax.set_yticks([])


def _series(ax, majors, values, label, color, log=False, target=None, target_label=None):
    plot = ax.semilogy if log else ax.plot
    finite = np.isfinite(values) & ((values > 0) if log else True)
    if finite.any():
        plot(majors[finite], values[finite], marker="o", color=color, linewidth=1.6, label=label)
    else:
        _message(ax, f"No {label.lower()} values were recorded.")
        return
    if target is not None:
        ax.axhline(target, color="0.35", linestyle="--", linewidth=1.0, label=target_label)
    _iteration_axis(ax, majors)
    ax.set_ylabel(label)
    ax.legend(loc="best", fontsize=9)


def _iteration_axis(ax, majors):
    ax.set_xlabel("Major iteration")
    ax.xaxis.get_major_locator().set_params(integer=True)
    ax.set_xlim(-0.5, max(float(np.max(majors)) if len(majors) else 0.0, 1.0) + 0.5)


def _adjoint_figure(case_dir, run_log, meta):
    residuals = {}
    if os.path.isfile(os.path.join(case_dir, run_log)):
        _, residuals = split_residuals(orvanta_cli.log_summary(os.path.join(case_dir, run_log))["residuals"])

    def draw(ax):
        if not residuals:
            _message(ax, "No adjoint solution ran in this optimization.\nGradients came from "
                         f"{meta.get('gradient', 'finite differences')} of flow solutions\n"
                         f"({meta.get('primal_solves', 'an unknown number of')} flow solutions in all).")
            return
        for name, history in residuals.items():
            values = np.array([np.nan if v is None else v for v in history], dtype=float)
            ax.semilogy(np.arange(1, len(values) + 1), values, linewidth=1.2, label=name)
        ax.set_xlabel("Adjoint iteration (all adjoint solutions)")
        ax.set_ylabel("Initial residual (-)")
        ax.legend(loc="upper right", fontsize=9)

    subtitle = "adjoint residuals" if residuals else "finite-difference gradients"
    return _figure(case_dir, "general_residual_adjoint.png", "Adjoint residuals", subtitle, draw)


def plot_history(case_dir, hist_file, optimizer_log, run_log="log_optimization.txt"):
    """Writes the five history figures, the design-variable, adjoint and confirmation figures."""
    history = read_history(os.path.join(case_dir, hist_file))
    meta, rows = history["meta"], history["iterations"]
    majors = np.array([r["major"] for r in rows], dtype=float)
    exit_status = meta.get("exit_status", "the run did not finish")
    subtitle = f"{meta.get('optimizer', '?')}: {exit_status}"
    if os.path.isfile(os.path.join(case_dir, optimizer_log)):
        subtitle += f" (log: {optimizer_log})"
    cd, cl = _values(rows, "cd"), _values(rows, "cl")
    reduction = 100.0 * (cd[0] - cd[-1]) / cd[0] if len(cd) and cd[0] else float("nan")
    specs = [
        ("general_opt_hst_cd.png", f"Drag coefficient per major iteration ({reduction:+.2f} % from the baseline)"
         if len(cd) else "Drag coefficient per major iteration",
         lambda ax: _series(ax, majors, cd, "CD", "tab:blue", target=cd[0] if len(cd) else None,
                            target_label="baseline")),
        ("general_opt_hst_cl.png", "Lift coefficient per major iteration",
         lambda ax: _series(ax, majors, cl, "CL", "tab:green", target=meta.get("lift_target"),
                            target_label="lift constraint")),
        ("general_opt_hst_patchv.png", "Freestream angle of attack per major iteration",
         lambda ax: _series(ax, majors, _values(rows, "angle_of_attack"), "Angle of attack (deg)", "tab:purple")),
        ("general_opt_hst_feasibility.png", "Feasibility: largest constraint violation",
         lambda ax: _series(ax, majors, _values(rows, "feasibility"), "Feasibility", "tab:red", log=True)),
        ("general_opt_hst_optimality.png", "Optimality: first-order condition residual",
         lambda ax: _series(ax, majors, _values(rows, "optimality"), "Optimality", "tab:orange", log=True)),
    ]
    written = []
    for name, title, draw in specs:
        if not rows:
            draw = (lambda ax: _message(ax, f"No major iteration was recorded.\n{exit_status}"))
        written.append(_figure(case_dir, name, title, subtitle, draw))
    written.append(_design_variable_figure(case_dir, history, subtitle))
    written.append(_adjoint_figure(case_dir, run_log, meta))
    written.append(plot_confirmation(case_dir, history, _figure))
    return written


def _design_variable_figure(case_dir, history, subtitle):
    """Each variable's path, scaled to its range (-1 and 1 are the range's nominal ends)."""
    evaluations = {e["id"]: e for e in history["evaluations"]}
    rows = history["iterations"]
    names = [v["name"] for v in history["meta"].get("design_variables", [])]

    def draw(ax):
        if not rows or not names:
            _message(ax, "No design-variable history was recorded.")
            return
        majors = [r["major"] for r in rows]
        xs = np.array([evaluations[r["evaluation"]]["x"] for r in rows], dtype=float)
        for k, name in enumerate(names):
            ax.plot(majors, xs[:, k], marker="o", linewidth=1.4, label=name)
        ax.axhline(0.0, color="0.5", linewidth=0.8)
        _iteration_axis(ax, np.array(majors))
        ax.set_ylabel("(value - baseline) / half range")
        ax.legend(loc="best", fontsize=9)

    return _figure(case_dir, "general_opt_hst_design_variables.png", "Design variables per major iteration",
                   subtitle, draw)
