"""Flow solutions of designs, each in a case directory of its own under the optimizer's
work folder: the case's solver files and 0_orig, the baseline mesh topology with the
design's moved points, solved by the flow driver's primal solution (warm-started from
another design's fields).

Force coefficients wander in their last digits once a solution has settled, so a design's
CD, CL and CM are the means over the trailing window of its solve, the same window the
stop rule watches.
"""

import os
import shutil
import subprocess
import time
from dataclasses import dataclass, replace

import numpy as np

from orvanta_case import foam_files, mpi_jobs, primal_solution
from orvanta_case.convergence import WINDOW, CoefficientMonitor, window_stats

FIELD_FILES = ("U", "p", "T", "rho", "alphat", "nut", "nuTilda", "k", "omega", "epsilon")


@dataclass
class FlowResult:
    angle_of_attack: float
    cd: float
    cl: float
    cm: float
    cd_std: float
    cl_std: float
    iterations: int   # of the last solver run (restarts at corrected angles come before it)
    converged: bool
    seconds: float
    total_iterations: int = 0


class CoefficientTee:
    """Passes solver output on, line by line, and keeps the force-coefficient histories."""

    def __init__(self, out):
        self.out = out
        self.monitor = CoefficientMonitor(0.0, 0.0)
        self._partial = ""

    def write(self, text):
        self.out.write(text)
        lines = (self._partial + text).split("\n")
        self._partial = lines.pop()
        for line in lines:
            self.monitor.feed(line)

    def flush(self):
        self.out.flush()


# A solution that never met the stop rule (an oscillation that does not die out) is
# averaged over up to this many iterations, half its run at most: several periods even out.
LONG_WINDOW = 200


def window_result(history, angle, converged, seconds, window=None):
    """Means and spreads of the trailing window (the whole history when shorter): the stop
    rule's window for a converged solution, a longer one for one that stopped at its limit."""
    n = len(history["cd"])
    if window is None:
        window = WINDOW if converged else max(WINDOW, min(LONG_WINDOW, n // 2))
    if n == 0:
        raise RuntimeError("the flow solution printed no force coefficients")
    last = slice(max(0, n - window), n)
    cd, cl, cm = (np.array(history[k][last], dtype=float) for k in ("cd", "cl", "cm"))
    cd_std = window_stats(list(cd))[0] if len(cd) >= 2 else 0.0
    cl_std = window_stats(list(cl))[0] if len(cl) >= 2 else 0.0
    return FlowResult(angle, float(cd.mean()), float(cl.mean()), float(cm.mean()) if len(cm) else float("nan"),
                      cd_std, cl_std, n, converged, seconds)


class FlowCase:
    def __init__(self, directory, source_case, mesh_dir, settings, conditions):
        """`settings`: the flow driver's PrimalSettings; `conditions`: FlowConditions at the
        baseline angle of attack (each solve turns it to its own angle)."""
        self.directory = directory
        self.settings = settings
        self.conditions = conditions
        if os.path.isdir(directory):
            shutil.rmtree(directory)
        os.makedirs(os.path.join(directory, "constant"))
        for name in ("system", "0_orig"):
            shutil.copytree(os.path.join(source_case, name), os.path.join(directory, name))
        constant = os.path.join(source_case, "constant")
        for name in os.listdir(constant):
            if name == "polyMesh":
                continue
            src = os.path.join(constant, name)
            if os.path.isfile(src):
                shutil.copy(src, os.path.join(directory, "constant", name))
        shutil.copytree(mesh_dir, os.path.join(directory, "constant", "polyMesh"), symlinks=False)

    def set_points(self, points_file):
        shutil.copy(points_file, os.path.join(self.directory, "constant", "polyMesh", "points"))

    def solve(self, angle_of_attack, warm_dir, out, lift_target=None):
        """One solution at `angle_of_attack` (or, with lift_target, at the angle that gives
        that lift coefficient, found from there), from the fields in warm_dir (freestream when
        None); returns the trailing-window FlowResult of the last solver run."""
        conditions = self.conditions.with_angle(angle_of_attack)
        settings = self.settings if lift_target is None else replace(self.settings, fixed_lift_coeff=lift_target)
        tee = CoefficientTee(out)
        began = time.time()
        result = primal_solution.solve_primal(self.directory, conditions, settings,
                                              initial="warm" if warm_dir else "cold", warm_dir=warm_dir, out=tee)
        # Only the last run's iterations belong to the final angle.
        last_run = result.runs[-1]["iterations"] if result.runs else len(tee.monitor.history["cd"])
        history = {k: v[-last_run:] for k, v in tee.monitor.history.items()}
        flow = window_result(history, result.angle_of_attack, result.converged, time.time() - began)
        flow.total_iterations = len(tee.monitor.history["cd"])
        return flow

    def latest_time(self):
        return foam_files.latest_time(self.directory)

    def save_fields(self, target_dir):
        """Copies the latest solution's fields to target_dir, reconstructing a decomposed
        solution first; returns target_dir."""
        if self.settings.n_ranks > 1:
            result = subprocess.run(["reconstructPar", "-latestTime"], cwd=self.directory,
                                    env=mpi_jobs.solver_environment(), capture_output=True, text=True)
            if result.returncode != 0:
                raise RuntimeError(f"reconstructPar failed in {self.directory} with exit status "
                                   f"{result.returncode}: {result.stdout[-2000:]}{result.stderr[-2000:]}")
        latest = self.latest_time()
        if latest is None or float(latest) == 0.0:
            raise RuntimeError(f"{self.directory} holds no solution to save")
        if os.path.isdir(target_dir):
            shutil.rmtree(target_dir)
        os.makedirs(target_dir)
        source = os.path.join(self.directory, latest)
        for name in FIELD_FILES:
            if os.path.isfile(os.path.join(source, name)):
                shutil.copy(os.path.join(source, name), os.path.join(target_dir, name))
        return target_dir


def primal_settings(args, n_ranks):
    return primal_solution.PrimalSettings(
        solver_name=args.solver_name, turbulence_model=args.turbulence_model, max_iterations=args.max_flow_iters,
        std_tol=args.primal_func_std_tol, slope_tol=args.primal_func_slope_tol, n_ranks=n_ranks,
        oversubscribe=mpi_jobs.oversubscribe_requested())
