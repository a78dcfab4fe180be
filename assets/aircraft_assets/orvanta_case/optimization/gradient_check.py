"""Verifies adjoint gradients against central finite differences, variable by variable.

    python -m orvanta_case.optimization.gradient_check --case-dir CASE
        [--variables Wing:XSec_3:Twist Wing:UpperCoeff:Au[8] ...] [--steps 0.2 0.1] ...

For each design variable (the optimization's default set unless named), the adjoint
derivative of CD and CL (adjoint_gradient: the sensitivity vectors of the baseline solution
summed against the geometry engine's displacement per unit variable) is set against central
finite differences of converged primal solutions on meshes moved to -h and +h, at two step
sizes h (fractions of the variable's half range) so that one sees whether the differences
themselves have converged. Two rigid motions check the sensitivities as a whole: a pitch
of the aircraft (against finite differences in the angle of attack, which it is, with the
drag and lift directions following the freestream) and a translation (zero in a far-away
domain). Primal and adjoint are the same incompressible solution.

Writes <work>/gradient_check.json, gradient_check.md (the table) and gradient_check.png.
Exit status 0 when every variable's adjoint CD and CL derivatives agree with the smaller
step's differences within 5 % (plus the solutions' own noise over the step), 3 otherwise.
"""

import argparse
import json
import math
import os
import shutil
import sys
import time

import numpy as np

from orvanta_case import case_inputs, orvanta_cli
from orvanta_case.optimization import adjoint_case, adjoint_gradient, foam_mesh, geometry, gradient_check_report
from orvanta_case.optimization.design_space import DesignSpace
from orvanta_case.optimization.settings import read_settings
from orvanta_case.optimization.shape import Morpher

AGREEMENT = 0.05
# Spread of CD or CL between converged solutions of nearby meshes: differences smaller than
# this over 2 h are noise, whatever the adjoint says.
SOLUTION_NOISE = 1e-6
OBJECTIVES = ("drag", "lift")
PITCH, TRANSLATION = "rigid pitch (deg)", "rigid translation x (m)"


def say(message):
    print(f"orvanta-gradient-check: {message}", flush=True)


class Checker:
    def __init__(self, args):
        self.args = args
        self.case_dir = os.path.abspath(args.case_dir)
        self.work = os.path.abspath(args.work_dir)
        os.makedirs(self.work, exist_ok=True)
        self.mesh = os.path.abspath(args.mesh_dir or os.path.join(self.case_dir, "constant", "polyMesh"))
        self.config = os.path.join(self.case_dir, "vsp_design_vars.json")
        baseline = os.path.join(self.case_dir, "aircraft_baseline.vsp3")
        self.model = baseline if os.path.isfile(baseline) else os.path.join(self.case_dir, "aircraft.vsp3")
        reference = orvanta_cli.reference_geometry(self.model)
        self.reference_length = reference["reference_length"]
        self.centre = case_inputs.moment_centre(reference, self.reference_length)
        speed = float(orvanta_cli.reference_values(args.mach_number)["u0"])
        self.flow = dict(speed=speed, nu=speed * self.reference_length / args.reynolds_number,
                         half_area=0.5 * reference["reference_area"], wall=args.wall, n_ranks=args.n_ranks,
                         primal_iters=args.primal_iters)
        selection = args.variables or read_settings(self.case_dir)["optimization_design_variables"]
        self.space = DesignSpace(geometry.design_variables(self.config, self.model), selection, args.angle_of_attack)
        self.morpher = Morpher(self.work, self.config, self.model, self.mesh,
                               os.path.join(self.case_dir, "optimization", "move_mesh"), sys.stdout)
        self.ids = None
        self.runs = 0

    def _run(self, name, mesh_dir, angle, objective=None, converged=None):
        """One adjointOptimisationFoam run: its folder, {"drag", "lift"} and residual drops.
        With `objective`, its adjoint and sensitivities too; `converged` (a folder) starts the
        primal from that solution."""
        folder = os.path.join(self.work, name)
        flow = dict(self.flow, primal_iters=50) if converged else self.flow
        adjoint_case.write_case(folder, mesh_dir, angle_deg=angle, adjoint_active=objective is not None,
                                adjoint_iters=self.args.adjoint_iters if objective else 1,
                                objective=objective or "drag", **flow)
        if converged:
            adjoint_gradient.start_from(folder, converged)
        log = os.path.join(self.work, f"log.{name}")
        began = time.time()
        adjoint_gradient.run(folder, self.args.n_ranks, log)
        self.runs += 1
        values = {o: adjoint_gradient.objective_value(folder, o) for o in OBJECTIVES}
        primal, adjoint_drops = adjoint_gradient.residual_drops(log)
        say(f"{name}: CD {values['drag']:.7g}, CL {values['lift']:.6g}; residuals down "
            f"{min(primal.values(), default=float('nan')):.2g} orders (primal)"
            + (f", {min(adjoint_drops.values(), default=float('nan')):.2g} (adjoint)" if objective else "")
            + f" ({time.time() - began:.0f} s)")
        return dict(values, folder=folder, primal_drops=primal, adjoint_drops=adjoint_drops)

    def solve(self, name, mesh_dir, angle):
        """{"drag", "lift"} of a converged primal solution."""
        return self._run(name, mesh_dir, angle)

    def adjoint(self, mesh_dir, angle):
        """The baseline: primal, then the drag adjoint and the lift adjoint (the second run
        from the first's converged flow), with both objectives' sensitivity vectors."""
        drag = self._run("adjoint_drag", mesh_dir, angle, objective="drag")
        lift = self._run("adjoint_lift", mesh_dir, angle, objective="lift", converged=drag["folder"])
        sens = {"drag": adjoint_gradient.point_sensitivities(drag["folder"], self.ids, "drag"),
                "lift": adjoint_gradient.point_sensitivities(lift["folder"], self.ids, "lift")}
        drops = {f"{k} ({o})": v for o, run in (("drag", drag), ("lift", lift)) for k, v in run["adjoint_drops"].items()}
        return dict(drag=drag["drag"], lift=drag["lift"], sens=sens, primal_drops=drag["primal_drops"],
                    adjoint_drops=drops)

    def moved_mesh(self, name, points_file):
        folder = os.path.join(self.work, f"mesh_{name}")
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(self.mesh, folder)
        shutil.copy(points_file, os.path.join(folder, "points"))
        return folder

    def shape_derivative(self, k, h):
        """Displacement of the aircraft points per unit of variable k (central, step h)."""
        moved = []
        for sign in (1, -1):
            x = self.space.x0()
            x[k] = sign * h / self.space.variables[k].half_width
            move = self.morpher.move(self.space.shape_values(x), f"sd_{sign}")
            displacement = np.loadtxt(os.path.join(os.path.dirname(move.model), "aircraft_displacements.txt"), ndmin=2)
            displacement[self.morpher.in_plane, 1] = 0.0
            moved.append(displacement)
        return (moved[0] - moved[1]) / (2.0 * h)

    def differences(self, label, solve_at):
        """{"steps": [h...], "drag": [...], "lift": [...]} central differences at each step."""
        out = {"steps": [], "drag": [], "lift": []}
        for fraction in self.args.steps:
            h, plus_minus = solve_at(fraction)
            out["steps"].append(h)
            for o in OBJECTIVES:
                out[o].append((plus_minus[0][o] - plus_minus[1][o]) / (2.0 * h))
        say(f"{label}: finite differences " + ", ".join(
            f"h {h:.3g}: dCD {d:.4g}, dCL {l:.4g}" for h, d, l in zip(out["steps"], out["drag"], out["lift"])))
        return out

    def shape_variable(self, k, base):
        v = self.space.variables[k]

        def solve_at(fraction):
            h = fraction * v.half_width
            results = []
            for sign in (1, -1):
                x = self.space.x0()
                x[k] = sign * fraction
                tag = f"{k}_{'p' if sign > 0 else 'm'}{fraction:g}"
                move = self.morpher.move(self.space.shape_values(x), "fd", check=True)
                results.append(self.solve(f"primal_{tag}", self.moved_mesh(tag, move.points),
                                          self.args.angle_of_attack))
            return h, results

        fd = self.differences(v.name, solve_at)
        derivative = self.shape_derivative(k, min(fd["steps"]))
        adjoint = {o: adjoint_gradient.gradient(base["sens"][o], derivative) for o in OBJECTIVES}
        return _row(v.name, adjoint, fd)

    def pitch(self, base, points):
        def solve_at(fraction):
            h = fraction * 1.0  # degrees
            return h, [self.solve(f"primal_pitch_{'p' if s > 0 else 'm'}{fraction:g}", self.mesh,
                                  self.args.angle_of_attack + s * h) for s in (1, -1)]

        fd = self.differences(PITCH, solve_at)
        per_degree = adjoint_gradient.rigid_pitch(points, self.centre) * math.pi / 180.0
        return _row(PITCH, {o: adjoint_gradient.gradient(base["sens"][o], per_degree) for o in OBJECTIVES}, fd)

    def translation(self, base):
        unit = np.zeros((len(self.ids), 3))
        unit[:, 0] = 1.0
        adjoint = {o: adjoint_gradient.gradient(base["sens"][o], unit) for o in OBJECTIVES}
        # Relative to what the sensitivities could sum to if they did not cancel.
        scale = {o: float(np.abs(base["sens"][o][:, 0]).sum()) for o in OBJECTIVES}
        return {"variable": TRANSLATION, "adjoint": adjoint, "cancellation": {o: abs(adjoint[o]) / max(scale[o], 1e-300)
                                                                            for o in OBJECTIVES}}

    def run(self):
        began = time.time()
        self.morpher.prepare()
        self.ids = foam_mesh.patch_point_ids(self.mesh, "aircraft")
        points = foam_mesh.read_points(os.path.join(self.mesh, "points"))[self.ids]
        base = self.adjoint(self.mesh, self.args.angle_of_attack)
        rows = [self.shape_variable(k, base) for k in self.space.shape_variables]
        if not self.args.no_rigid:
            rows.append(self.pitch(base, points))
        translation = self.translation(base)
        result = {"angle_of_attack": self.args.angle_of_attack, "mach_number": self.args.mach_number,
                  "reynolds_number": self.args.reynolds_number, "cd": base["drag"], "cl": base["lift"],
                  "primal_residual_drop_orders": base["primal_drops"],
                  "adjoint_residual_drop_orders": base["adjoint_drops"], "rows": rows, "translation": translation,
                  "agreement_tolerance": AGREEMENT, "flow_solutions": self.runs, "seconds": time.time() - began}
        result["all_agree"] = all(r["agrees"][o] for r in rows for o in OBJECTIVES)
        write_outputs(self.work, result)
        return result


def _row(name, adjoint, fd):
    """One table row: the adjoint against the smaller step's difference, and how far the two
    steps' differences are apart (relative), which says whether the differences converged."""
    row = {"variable": name, "adjoint": adjoint, "fd": fd, "relative_difference": {}, "fd_step_spread": {},
           "fd_converged": {}, "agrees": {}}
    noise = SOLUTION_NOISE / min(fd["steps"])
    for o in OBJECTIVES:
        finest = fd[o][-1]
        spread = abs(fd[o][0] - finest) / max(abs(finest), 1e-300) if len(fd[o]) > 1 else None
        row["fd_step_spread"][o] = spread
        row["fd_converged"][o] = spread is not None and spread <= AGREEMENT
        error = abs(adjoint[o] - finest)
        row["relative_difference"][o] = error / max(abs(finest), 1e-300)
        row["agrees"][o] = error <= AGREEMENT * abs(finest) + noise
    return row


def write_outputs(work, result):
    with open(os.path.join(work, "gradient_check.json"), "w", encoding="utf-8") as f:
        json.dump(result, f, indent=2)
    with open(os.path.join(work, "gradient_check.md"), "w", encoding="utf-8") as f:
        f.write(gradient_check_report.table(result))
    gradient_check_report.figure(result, os.path.join(work, "gradient_check.png"))


def build_parser():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--case-dir", default=".", help="case with the mesh, aircraft.vsp3 and vsp_design_vars.json")
    parser.add_argument("--mesh-dir", default=None, help="another mesh of the same aircraft")
    parser.add_argument("--work-dir", default="gradient_check")
    parser.add_argument("--variables", nargs="*", default=None,
                        help="design-variable keys with optional indices; default: the optimization's set")
    parser.add_argument("--steps", nargs="+", type=float, default=[0.2, 0.1],
                        help="finite-difference steps as fractions of each variable's half range (angle: degrees)")
    parser.add_argument("--wall", choices=["wall_function", "low_re"], default="wall_function")
    parser.add_argument("--angle-of-attack", type=float, default=2.0)
    parser.add_argument("--mach-number", type=float, default=0.3)
    parser.add_argument("--reynolds-number", type=float, default=1e6)
    parser.add_argument("--primal-iters", type=int, default=3000)
    parser.add_argument("--adjoint-iters", type=int, default=3000)
    parser.add_argument("--n-ranks", type=int, default=2)
    parser.add_argument("--no-rigid", action="store_true", help="leave out the rigid-pitch check")
    return parser


def main(argv=None):
    args = build_parser().parse_args(argv)
    result = Checker(args).run()
    with open(os.path.join(args.work_dir, "gradient_check.md"), encoding="utf-8") as f:
        print(f.read())
    return 0 if result["all_agree"] else 3


if __name__ == "__main__":
    sys.exit(main())
