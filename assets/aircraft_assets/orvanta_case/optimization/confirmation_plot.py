"""The figure of an optimization's confirmation: baseline and optimized drag at the target
lift on the optimization mesh and on the finer confirming mesh, with each mesh's reduction."""

import numpy as np

from orvanta_case.optimization.analysis_metrics import drags_at_target_lift

FIGURE = "general_opt_confirmation.png"


def _pairs(history):
    """[(label, baseline CD, optimized CD)] of the meshes that have both."""
    meta = history["meta"]
    evaluations = {e["id"]: e for e in history["evaluations"]}
    baseline = evaluations.get(meta.get("baseline_evaluation"))
    final = evaluations.get(meta.get("final_evaluation"))
    confirmation = meta.get("confirmation") or {}
    level = confirmation.get("optimization_surface_level")
    pairs = []
    if baseline and final:
        at_target = drags_at_target_lift(history, baseline, final)
        basis = "at CL target" if at_target["basis"] == "at the target lift" else "as solved"
        name = f"optimization mesh (level {level})" if level is not None else "optimization mesh"
        pairs.append((f"{name}\n{basis}", *at_target["pair"]))
    base, best = confirmation.get("baseline"), confirmation.get("optimized")
    if base and best:
        state = "converged" if confirmation.get("trusted") else "NOT converged at the target lift"
        pairs.append((f"confirming mesh (level {best['surface_level']}, {best['cells']:,} cells)\n{state}",
                      base["cd"], best["cd"]))
    return pairs


def _draw(ax, pairs, message):
    if not pairs:
        ax.text(0.5, 0.5, message, ha="center", va="center", wrap=True, fontsize=12, transform=ax.transAxes)
        ax.set_xticks([])
        ax.set_yticks([])
        return
    x = np.arange(len(pairs))
    width = 0.36
    base = np.array([p[1] for p in pairs], dtype=float)
    best = np.array([p[2] for p in pairs], dtype=float)
    ax.bar(x - width / 2, base, width, color="0.6", label="baseline")
    ax.bar(x + width / 2, best, width, color="tab:blue", label="optimized")
    for i, (b, o) in enumerate(zip(base, best)):
        ax.annotate(f"{100.0 * (b - o) / b:+.2f} %", (x[i] + width / 2, o), textcoords="offset points",
                    xytext=(0, 4), ha="center", fontsize=10)
    low = float(np.nanmin(np.concatenate([base, best])))
    high = float(np.nanmax(np.concatenate([base, best])))
    ax.set_ylim(low - 0.15 * (high - low + 1e-4), high + 0.25 * (high - low + 1e-4))
    ax.set_xticks(x)
    ax.set_xticklabels([p[0] for p in pairs], fontsize=9)
    ax.set_ylabel("CD")
    ax.legend(loc="upper right", fontsize=9)


def plot_confirmation(case_dir, history, figure):
    """Writes the figure with `figure(case_dir, name, title, subtitle, draw)`; its path."""
    confirmation = history["meta"].get("confirmation") or {}
    # Bars only when the confirmation ran; otherwise the figure says why it did not.
    pairs = _pairs(history) if confirmation.get("baseline") and confirmation.get("optimized") else []
    if confirmation.get("error"):
        message = f"The confirmation on a finer mesh failed:\n{confirmation['error'][:300]}"
    elif not confirmation:
        message = "No confirmation on a finer mesh ran (switched off, or the run did not finish)."
    else:
        message = "No drag values to compare."
    subtitle = "reduction = (baseline - optimized) / baseline; the confirming mesh solves both at the lift target"
    return figure(case_dir, FIGURE, "Drag of the baseline and the optimized design, confirmed on a finer mesh",
                  subtitle, lambda ax: _draw(ax, pairs, message))
