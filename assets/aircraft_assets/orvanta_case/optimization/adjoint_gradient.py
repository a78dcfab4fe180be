"""Drag and lift gradients by OpenFOAM's continuous adjoint (adjointOptimisationFoam).

One run of an adjoint case (adjoint_case) converges the incompressible primal, then one
adjoint solution per objective, and writes each objective's sensitivity to every point of
the aircraft patch as a vector (pointSensVec<solver>ESI: the objective's change per metre
of that point's displacement, the surface area included). A design variable's gradient is
the sum over the points of that vector dotted with the point's displacement per unit of the
variable: the whole displacement, not only its normal part, so that the trailing edge, the
tip and the wing-body junction (where normals are ill-defined) count as they move.
"""

import glob
import os
import re
import shutil
import subprocess

import numpy as np

from orvanta_case import foam_files, mpi_jobs, orvanta_cli
from orvanta_case.cfd_metrics import residual_drop_orders
from orvanta_case.optimization import foam_mesh
from orvanta_case.optimization.adjoint_case import SOLVERS

PRIMAL_FIELDS = ("U", "p", "nuTilda", "nut")
_ADJOINT_FIELDS = re.compile(r"^(Ua[xyz]?|pa|nuaTilda)$")
_PRIMAL_FIELDS = re.compile(r"^(U[xyz]|p|nuTilda)$")


class AdjointError(RuntimeError):
    pass


def run(case, n_ranks, log):
    """adjointOptimisationFoam in `case`, decomposed when n_ranks > 1; its output to `log`."""
    env = mpi_jobs.solver_environment()
    with open(log, "w", encoding="utf-8") as out:
        def step(command):
            status = subprocess.run(command, cwd=case, env=env, stdout=out, stderr=subprocess.STDOUT).returncode
            if status != 0:
                raise AdjointError(f"`{' '.join(command)}` failed in {case} with exit status {status}; see {log}")
        if n_ranks > 1:
            step(["decomposePar", "-force"])
        step(mpi_jobs.parallel_command(n_ranks, ["adjointOptimisationFoam"], mpi_jobs.oversubscribe_requested()))
        if n_ranks > 1:
            step(["reconstructPar", "-latestTime"])


def objective_value(case, objective):
    """The objective's last value, from its file in optimisation/objective/<time>/."""
    pattern = os.path.join(case, "optimisation", "objective", "*", f"{objective}*")
    files = sorted(f for f in glob.glob(pattern) if "Mean" not in os.path.basename(f))
    if not files:
        raise AdjointError(f"no value of the objective `{objective}` in {case}/optimisation/objective")
    with open(files[-1], encoding="utf-8") as f:
        rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
    if not rows:
        raise AdjointError(f"{files[-1]} holds no value")
    return float(rows[-1][1])


def point_sensitivities(case, ids, objective):
    """(n, 3) sensitivity vectors of `objective` at the mesh points `ids`, from the latest time."""
    time_dir = os.path.join(case, foam_files.latest_time(case))
    solver = SOLVERS[objective]
    names = sorted(n for n in os.listdir(time_dir) if n.startswith("pointSensVec"))
    # Named after the solver, or the only one of a case with one adjoint solver.
    named = [n for n in names if solver in n]
    if not named and len(names) != 1:
        raise AdjointError(f"{time_dir} holds no point sensitivities of {solver} ({', '.join(names) or 'none'})")
    return foam_mesh.read_vectors(os.path.join(time_dir, (named or names)[0]))[ids]


def start_from(case, converged_case):
    """Replaces the initial primal fields of `case` by the converged ones of another case
    on the same mesh, so that its primal needs only a few iterations."""
    latest = os.path.join(converged_case, foam_files.latest_time(converged_case))
    for name in PRIMAL_FIELDS:
        shutil.copy(os.path.join(latest, name), os.path.join(case, "0", name))


def gradient(sensitivity, shape_derivative):
    """The objective's derivative for a displacement field per unit variable, (n, 3)."""
    return float(np.einsum("ij,ij->", sensitivity, shape_derivative))


def residual_drops(log):
    """({primal field: orders}, {adjoint field: orders}) of a run's log."""
    drops = residual_drop_orders(orvanta_cli.log_summary(log)["residuals"])
    primal = {k: v for k, v in drops.items() if _PRIMAL_FIELDS.match(k)}
    adjoint = {k: v for k, v in drops.items() if _ADJOINT_FIELDS.match(k)}
    return primal, adjoint


def rigid_pitch(points, centre):
    """Displacement of the points per radian of nose-up pitch about the y axis through centre
    (x downstream, z up: the nose rises)."""
    r = np.asarray(points, dtype=float) - np.asarray(centre, dtype=float)
    return np.column_stack([r[:, 2], np.zeros(len(r)), -r[:, 0]])
