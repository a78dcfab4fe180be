"""Checks an adjoint drag gradient against finite differences on one design variable.

    python -m orvanta_case.optimization.adjoint_check --case-dir CASE --variable Wing:XSec_1:Twist
        [--index 0] [--step 0.25] [--wall wall_function|low_re] [--mesh-dir DIR] ...

The adjoint (adjoint_case) gives the drag's sensitivity to every aircraft surface point
along the surface normal; the variable's shape derivative is the located points' movement
per unit change (the geometry engine, central difference of its exact displacements), so
the adjoint gradient is sum_i s_i (n_i . dx_i/dv). The finite-difference gradient solves the
same incompressible primal on meshes moved by -step and +step with moveMesh.
Both use the primal's averaged drag (the mean fields of its second half). The result, with
both solutions' residual drops and what the sensitivities predict for a rigid translation
(nothing, for a trustworthy map), goes to <work>/adjoint_check.json.

The optimization driver uses the adjoint only where this check agrees within 5 %.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time

import numpy as np

from orvanta_case import foam_files, mpi_jobs, orvanta_cli
from orvanta_case.cfd_metrics import residual_drop_orders
from orvanta_case.optimization import adjoint_case, foam_mesh, geometry
from orvanta_case.optimization.shape import Morpher

AGREEMENT = 0.05


def run_solver(case, n_ranks, log):
    """adjointOptimisationFoam in `case`, decomposed when n_ranks > 1; its output to `log`."""
    env = mpi_jobs.solver_environment()
    with open(log, "w", encoding="utf-8") as out:
        if n_ranks > 1:
            subprocess.run(["decomposePar", "-force"], cwd=case, env=env, stdout=out, stderr=subprocess.STDOUT,
                           check=True)
        command = mpi_jobs.parallel_command(n_ranks, ["adjointOptimisationFoam"], mpi_jobs.oversubscribe_requested())
        status = subprocess.run(command, cwd=case, env=env, stdout=out, stderr=subprocess.STDOUT).returncode
        if status != 0:
            raise RuntimeError(f"adjointOptimisationFoam failed in {case} with exit status {status}; see {log}")
        if n_ranks > 1:
            subprocess.run(["reconstructPar", "-latestTime"], cwd=case, env=env, stdout=out,
                           stderr=subprocess.STDOUT, check=True)


def mean_drag(case):
    """The last value of the averaged objective (mean fields of the primal's second half)."""
    folder = os.path.join(case, "optimisation", "objective", "0")
    name = next(n for n in os.listdir(folder) if n.startswith("dragMean"))
    with open(os.path.join(folder, name), encoding="utf-8") as f:
        rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
    return float(rows[-1][1])


def residual_drops(log):
    summary = orvanta_cli.log_summary(log)
    drops = residual_drop_orders(summary["residuals"])
    adjoint = {k: v for k, v in drops.items() if re.match(r"^(Ua[xyz]?|pa|nuaTilda)$", k)}
    primal = {k: v for k, v in drops.items() if re.match(r"^(U[xyz]|p|nuTilda)$", k)}
    return primal, adjoint


def point_normals(mesh_dir, patch, ids):
    """Unit normals at the patch points (mean of the adjacent faces' unit normals), ordered as ids."""
    patches = foam_mesh.read_boundary(os.path.join(mesh_dir, "boundary"))
    p = patches[patch]
    faces = foam_mesh.read_faces(os.path.join(mesh_dir, "faces"), p["start"], p["n_faces"])
    points = foam_mesh.read_points(os.path.join(mesh_dir, "points"))
    position = {int(label): k for k, label in enumerate(ids)}
    sums = np.zeros((len(ids), 3))
    for face in faces:
        c = points[face]
        n = np.cross(c, np.roll(c, -1, axis=0)).sum(axis=0)
        n /= max(np.linalg.norm(n), 1e-300)
        for label in face:
            sums[position[label]] += n
    return sums / np.maximum(np.linalg.norm(sums, axis=1), 1e-300)[:, None]


def point_sensitivities(case, ids):
    time_dir = os.path.join(case, foam_files.latest_time(case))
    name = next(n for n in os.listdir(time_dir) if n.startswith("pointSensNormal"))
    return foam_mesh.read_scalars(os.path.join(time_dir, name))[ids]


def check(args):
    began = time.time()
    work = os.path.abspath(args.work_dir)
    os.makedirs(work, exist_ok=True)
    case_dir = os.path.abspath(args.case_dir)
    mesh = os.path.abspath(args.mesh_dir or os.path.join(case_dir, "constant", "polyMesh"))
    config, model = os.path.join(case_dir, "vsp_design_vars.json"), os.path.join(case_dir, "aircraft.vsp3")
    entries = geometry.design_variables(config, model)
    values = entries[args.variable]["values"]
    freestream = orvanta_cli.reference_values(args.mach_number)
    speed = float(freestream["u0"])
    nu = speed * args.reference_length / args.reynolds_number
    common = dict(speed=speed, angle_deg=args.angle_of_attack, nu=nu, half_area=0.5 * args.reference_area,
                  wall=args.wall, primal_iters=args.primal_iters, adjoint_iters=args.adjoint_iters,
                  n_ranks=args.n_ranks)

    morpher = Morpher(work, config, model, mesh, os.path.join(case_dir, "optimization", "move_mesh"), sys.stdout)
    morpher.prepare()
    ids = foam_mesh.patch_point_ids(mesh, "aircraft")
    moved = {}
    for sign in (1, -1):
        design = [float(v) for v in values]
        design[args.index] += sign * args.step
        move = morpher.move({args.variable: design}, f"{'plus' if sign > 0 else 'minus'}")
        displacement = np.loadtxt(os.path.join(os.path.dirname(move.model), "aircraft_displacements.txt"), ndmin=2)
        displacement[morpher.in_plane, 1] = 0.0
        moved[sign] = (move.points, displacement)
    shape_derivative = (moved[1][1] - moved[-1][1]) / (2.0 * args.step)

    adjoint_dir = os.path.join(work, "adjoint")
    adjoint_case.write_case(adjoint_dir, mesh, adjoint_active=True, **common)
    run_solver(adjoint_dir, args.n_ranks, os.path.join(work, "log.adjoint"))
    sensitivity = point_sensitivities(adjoint_dir, ids)
    normals = point_normals(mesh, "aircraft", ids)
    adjoint_gradient = float(np.sum(sensitivity * np.einsum("ij,ij->i", normals, shape_derivative)))
    # Moving the whole aircraft rigidly in a far-away domain leaves its drag alone: what
    # the sensitivities predict for unit translations, relative to their total size.
    translation = [float(np.sum(sensitivity * normals[:, k])) / max(float(np.sum(np.abs(sensitivity))), 1e-300)
                   for k in range(3)]
    primal, adjoint = residual_drops(os.path.join(work, "log.adjoint"))

    drags = {}
    for sign in (1, -1):
        name = "plus" if sign > 0 else "minus"
        moved_mesh = os.path.join(work, f"mesh_{name}")
        shutil.rmtree(moved_mesh, ignore_errors=True)
        shutil.copytree(mesh, moved_mesh)
        shutil.copy(moved[sign][0], os.path.join(moved_mesh, "points"))
        fd_dir = os.path.join(work, f"primal_{name}")
        # The objective belongs to the adjoint solver: one adjoint iteration makes it report
        # the drag of the primal's mean fields.
        adjoint_case.write_case(fd_dir, moved_mesh, **dict(common, adjoint_iters=1))
        run_solver(fd_dir, args.n_ranks, os.path.join(work, f"log.primal_{name}"))
        drags[name] = mean_drag(fd_dir)
    fd_gradient = (drags["plus"] - drags["minus"]) / (2.0 * args.step)
    error = abs(adjoint_gradient - fd_gradient) / max(abs(fd_gradient), 1e-300)
    result = {
        "variable": args.variable, "index": args.index, "step": args.step, "wall": args.wall,
        "angle_of_attack": args.angle_of_attack, "drag_baseline": mean_drag(adjoint_dir),
        "drag_plus": drags["plus"], "drag_minus": drags["minus"], "adjoint_gradient": adjoint_gradient,
        "fd_gradient": fd_gradient, "relative_difference": error, "agrees": error <= AGREEMENT,
        "translation_drag_change_relative": translation,
        "primal_residual_drop_orders": primal, "adjoint_residual_drop_orders": adjoint,
        "primal_iters": args.primal_iters, "adjoint_iters": args.adjoint_iters, "seconds": time.time() - began,
    }
    with open(os.path.join(work, "adjoint_check.json"), "w", encoding="utf-8") as f:
        json.dump(result, f, indent=2)
    print(json.dumps(result, indent=2))
    return 0 if result["agrees"] else 3


def build_parser():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--case-dir", default=".", help="case with the mesh, aircraft.vsp3 and vsp_design_vars.json")
    parser.add_argument("--mesh-dir", default=None, help="another mesh of the same aircraft (a layer mesh)")
    parser.add_argument("--work-dir", default="adjoint_check")
    parser.add_argument("--variable", default="Wing:XSec_1:Twist")
    parser.add_argument("--index", type=int, default=0)
    parser.add_argument("--step", type=float, default=0.25, help="in the variable's own units")
    parser.add_argument("--wall", choices=["wall_function", "low_re"], default="wall_function")
    parser.add_argument("--angle-of-attack", type=float, default=2.0)
    parser.add_argument("--mach-number", type=float, default=0.3)
    parser.add_argument("--reynolds-number", type=float, default=1e6)
    parser.add_argument("--reference-area", type=float, default=16.8)
    parser.add_argument("--reference-length", type=float, default=1.4857142857142858)
    parser.add_argument("--primal-iters", type=int, default=1500)
    parser.add_argument("--adjoint-iters", type=int, default=2000)
    parser.add_argument("--n-ranks", type=int, default=2)
    return parser


def main(argv=None):
    return check(build_parser().parse_args(argv))


if __name__ == "__main__":
    sys.exit(main())
