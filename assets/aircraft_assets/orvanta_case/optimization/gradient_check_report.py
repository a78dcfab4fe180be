"""The gradient check's table (markdown) and figure: adjoint against finite-difference
derivatives of CD and CL for every variable, with the two steps' differences side by side."""

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

OBJECTIVES = (("drag", "CD"), ("lift", "CL"))


def _pct(value):
    return "n/a" if value is None else f"{100.0 * value:.1f} %"


def table(result):
    lines = [f"Gradient check at {result['angle_of_attack']:g} deg, Mach {result['mach_number']:g}, Re "
             f"{result['reynolds_number']:g}: CD {result['cd']:.6g}, CL {result['cl']:.5g}; residual drops "
             f"(orders, smallest) primal {_smallest(result['primal_residual_drop_orders'])}, adjoint "
             f"{_smallest(result['adjoint_residual_drop_orders'])}; {result['flow_solutions']} solutions in "
             f"{result['seconds'] / 60:.1f} min.", "",
             "| variable | coefficient | adjoint | FD (larger step) | FD (smaller step) | steps | FD steps apart |"
             " adjoint vs FD | agrees |",
             "|---|---|---|---|---|---|---|---|---|"]
    for row in result["rows"]:
        fd = row["fd"]
        steps = " / ".join(f"{h:.3g}" for h in fd["steps"])
        for key, label in OBJECTIVES:
            values = fd[key]
            lines.append(f"| {row['variable']} | {label} | {row['adjoint'][key]:.5g} | {values[0]:.5g} | "
                         f"{values[-1]:.5g} | {steps} | {_pct(row['fd_step_spread'][key])} | "
                         f"{_pct(row['relative_difference'][key])} | {'yes' if row['agrees'][key] else 'NO'} |")
    t = result["translation"]
    lines += ["", f"Rigid translation along x (should be zero): adjoint dCD/dx {t['adjoint']['drag']:.4g} per m "
              f"({_pct(t['cancellation']['drag'])} of the sensitivities' absolute sum), dCL/dx "
              f"{t['adjoint']['lift']:.4g} per m ({_pct(t['cancellation']['lift'])}).", ""]
    return "\n".join(lines)


def _smallest(drops):
    values = [v for v in (drops or {}).values() if v is not None]
    return f"{min(values):.2g}" if values else "n/a"


def figure(result, path):
    rows = result["rows"]
    fig, axes = plt.subplots(1, 2, figsize=(12, max(3.5, 0.5 * len(rows) + 2)), dpi=130)
    y = np.arange(len(rows))
    for ax, (key, label) in zip(axes, OBJECTIVES):
        # Each variable scaled by its finite difference, so that every row reads on one axis.
        scale = np.array([abs(r["fd"][key][-1]) or 1.0 for r in rows])
        adjoint = np.array([r["adjoint"][key] for r in rows]) / scale
        large = np.array([r["fd"][key][0] for r in rows]) / scale
        small = np.array([r["fd"][key][-1] for r in rows]) / scale
        ax.barh(y - 0.25, adjoint, 0.25, color="tab:blue", label="adjoint")
        ax.barh(y, large, 0.25, color="0.65", label="FD, larger step")
        ax.barh(y + 0.25, small, 0.25, color="0.35", label="FD, smaller step")
        ax.axvline(0.0, color="k", linewidth=0.8)
        ax.axvspan(-1.05, -0.95, color="tab:green", alpha=0.15)
        ax.axvspan(0.95, 1.05, color="tab:green", alpha=0.15)
        ax.set_yticks(y)
        ax.set_yticklabels([r["variable"] for r in rows], fontsize=8)
        ax.invert_yaxis()
        ax.set_xlabel(f"d{label}/dv relative to |FD, smaller step| (green: within 5 %)")
        ax.set_title(f"{label} derivatives")
        ax.grid(True, axis="x", color="0.9")
    axes[0].legend(loc="lower right", fontsize=8)
    fig.suptitle(f"Adjoint against central finite differences, {result['angle_of_attack']:g} deg, "
                 f"Mach {result['mach_number']:g}")
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)
    return path
