"""The optimization problem as the optimizers see it, in scaled variables:

    minimise     CD / CD_baseline
    subject to   (CL - CL_target) / lift_scale = 0
                 ratio_i - bound_i >= 0       (thickness, leading-edge radius, volume)

Designs are solved once and remembered by their variables, so objective and constraints
at one point cost one flow solution, and a gradient costs the perturbed solutions of
finite_difference on top.
"""

import os
import shutil
import threading
import time
from dataclasses import dataclass

import numpy as np

from orvanta_case.optimization import finite_difference, geometry
from orvanta_case.optimization.shape import ShapeError

# Fields of this many recent designs stay on disk as warm starts; older ones are removed.
KEPT_FIELD_SETS = 3
# Scaled step of the geometric constraints' own (cheap, noise-free) central differences.
GEOMETRY_STEP = 1e-4
# The first steepest-descent step, in half ranges, that the objective scaling aims at.
FIRST_STEP = 0.25
MAX_OBJECTIVE_SCALE = 1000.0
# What a design whose mesh cannot be moved looks like to the optimizers: ten times the
# baseline drag and far from every constraint, so that their line searches step back.
UNUSABLE_OBJECTIVE = 10.0
UNUSABLE_VIOLATION = 10.0
# Designs closer than this (scaled variables, i.e. fractions of half ranges) to one already
# solved reuse its solution: far below the finite-difference step, and far below what a
# flow solution can tell apart, yet line searches on noisy drag would otherwise shrink their
# steps towards it one full flow solution at a time.
SAME_DESIGN = 1e-4


@dataclass
class Design:
    index: int    # in the order designs were solved, the baseline 0
    id: int       # row of the history's evaluations table
    x: np.ndarray
    flow: object  # flow.FlowResult
    ratios: np.ndarray
    objective: float
    constraints: np.ndarray
    feasibility: float
    fields_dir: str
    points_file: str


@dataclass
class Slot:
    name: str
    case: object  # flow.FlowCase
    log: object   # file object


class Problem:
    def __init__(self, space, geometric, lift_target, morpher, nominal, pool, history, out, fd_step,
                 central=False):
        self.space, self.geometric, self.lift_target = space, geometric, float(lift_target)
        self.lift_scale = max(abs(self.lift_target), 0.1)
        self.morpher, self.nominal, self.pool, self.history, self.out = morpher, nominal, pool, history, out
        self.fd_step, self.central = float(fd_step), central
        # The baseline is first brought to the lift target by its angle of attack, so the
        # optimization starts feasible and its drag reduction is one at the target lift.
        self.trim_baseline = True
        self.cd0 = None
        # The optimizer minimises objective_scale * CD / CD_baseline (see calibrate_objective).
        self.objective_scale = 1.0
        self.designs, self.gradients = {}, {}
        self.unusable = {}  # designs whose moved mesh failed its check, by key
        self.accepted = None  # the optimizer's latest iterate (set by its iteration log)
        self.primal_solves = 0
        self.started = time.time()
        self._lock = threading.Lock()
        self._last = None
        self.work_dir = os.path.dirname(nominal.directory)

    # -- log ---------------------------------------------------------------------------
    def say(self, message):
        with self._lock:
            self.out.write(f"orvanta-opt: {message}\n")
            self.out.flush()

    @staticmethod
    def key(x):
        return np.asarray(x, dtype=float).tobytes()

    # -- values ------------------------------------------------------------------------
    def evaluate(self, x):
        x = np.array(x, dtype=float)
        k = self.key(x)
        if k in self.unusable:
            return self.unusable[k]
        if k not in self.designs and (near := self._solved_near(x)) is not None:
            self.say(f"design at {np.array2string(x, precision=6)} lies within {SAME_DESIGN:g} of design "
                     f"{near.index}: its solution stands for it")
            self.designs[k] = near
        if k not in self.designs:
            try:
                self.designs[k] = self._solve_design(x)
            except ShapeError as error:
                if self._last is None:
                    raise  # the baseline itself: nothing to step back to
                self.unusable[k] = self._unusable_design(x, error)
                return self.unusable[k]
        return self.designs[k]

    def solve_again(self, design):
        """A fresh solution of a design solved earlier (whose fields may have been pruned)."""
        for k in [k for k, d in self.designs.items() if d is design]:
            del self.designs[k]
        fresh = self._solve_design(np.array(design.x, dtype=float))
        self.designs[self.key(design.x)] = fresh
        return fresh

    def _distinct_designs(self):
        return list({id(d): d for d in self.designs.values()}.values())

    def _solved_near(self, x):
        """The nearest solved design within SAME_DESIGN of x in every variable, or None."""
        near = [d for d in self._distinct_designs() if float(np.max(np.abs(d.x - x))) < SAME_DESIGN]
        return min(near, key=lambda d: float(np.max(np.abs(d.x - x)))) if near else None

    def _unusable_design(self, x, error):
        index = len(self._distinct_designs()) + len(self.unusable)
        constraints = np.concatenate([[UNUSABLE_VIOLATION], -UNUSABLE_VIOLATION * np.ones(len(self.geometric))])
        self.say(f"design {index}: {error}; not solved: the optimizer has to step back from it "
                 "(a poor, infeasible design to optimizers that cannot restart)")
        return Design(index, None, x, None, None, UNUSABLE_OBJECTIVE, constraints, float("inf"), None, None)

    def objective(self, x):
        return self.objective_scale * self.evaluate(x).objective

    def constraints(self, x):
        return self.evaluate(x).constraints

    def gradient(self, x):
        return self.objective_scale * self._gradient(x)[0]

    def calibrate_objective(self, x):
        """Scales the objective so that its steepest-descent step at x spans FIRST_STEP of a
        variable's half range: drag changes by fractions of a percent over the ranges, and an
        unscaled objective would have the optimizer creep in steps the flow's noise swamps."""
        g = np.abs(self._gradient(x)[0])
        largest = float(g.max()) if len(g) else 0.0
        scale = FIRST_STEP / largest if largest > 0.0 else 1.0
        self.objective_scale = float(min(max(scale, 1.0), MAX_OBJECTIVE_SCALE))
        self.say(f"objective scaled by {self.objective_scale:.4g} (largest drag derivative {largest:.3g} per "
                 "half range, relative to the baseline drag)")
        return self.objective_scale

    def jacobian(self, x):
        return self._gradient(x)[1]

    def constraint_bounds(self, infinity):
        n = 1 + len(self.geometric)
        return np.zeros(n), np.array([0.0] + [infinity] * len(self.geometric))

    def measure(self, model_file):
        return self.geometric.ratios(geometry.measure_wing(model_file)) if len(self.geometric) else np.zeros(0)

    def scaled_values(self, flow, ratios):
        objective = flow.cd / self.cd0
        constraints = np.concatenate([[(flow.cl - self.lift_target) / self.lift_scale],
                                      ratios - self.geometric.lower_bounds()])
        feasibility = max([abs(flow.cl - self.lift_target)] + list(self.geometric.violations(ratios)))
        return objective, constraints, float(feasibility)

    # -- designs -----------------------------------------------------------------------
    def _solve_design(self, x):
        began = time.time()
        index = len(self._distinct_designs()) + len(self.unusable)
        last = self._last
        if last is not None and self.space.same_shape(x, last.x):
            points, ratios, moved = last.points_file, last.ratios, None
        else:
            move = self.morpher.move(self.space.shape_values(x), "nominal", check=True)
            points, ratios, moved = move.points, self.measure(move.model), move
        self.nominal.set_points(points)
        warm = last.fields_dir if last is not None else None
        aoa = self.space.angle_of_attack(x)
        self.say(f"design {index}: solving at angle of attack {aoa:.6g} deg"
                 + (f", surface moved by up to {moved.largest:.3g} m ({moved.seconds:.1f} s)" if moved else "")
                 + (", warm start" if warm else ", from the freestream"))
        trim = last is None and self.trim_baseline
        flow = self.nominal.solve(aoa, warm, self.out, lift_target=self.lift_target if trim else None)
        self.primal_solves += 1
        if trim:
            self.space.recentre_angle(flow.angle_of_attack)
            self.say(f"baseline trimmed to CL {self.lift_target:g}: angle of attack {aoa:.6g} -> "
                     f"{flow.angle_of_attack:.6g} deg (CL {flow.cl:.6g})")
            aoa = flow.angle_of_attack
        if self.cd0 is None:
            self.cd0 = flow.cd
        fields = self.nominal.save_fields(os.path.join(self.work_dir, "fields", f"design_{index}"))
        kept_points = os.path.join(fields, "points")
        shutil.copy(points, kept_points)
        objective, constraints, feasibility = self.scaled_values(flow, ratios)
        record = {"design": self.space.all_values(x), "x": [float(v) for v in x], "angle_of_attack": aoa,
                  "cd": flow.cd, "cl": flow.cl, "cm": flow.cm, "cd_std": flow.cd_std, "cl_std": flow.cl_std,
                  "objective": objective, "constraints": [float(c) for c in constraints],
                  "geometry": self.geometric.summary(ratios) if len(self.geometric) else {},
                  "feasibility": feasibility, "primal_converged": int(flow.converged),
                  "primal_iterations": flow.iterations, "primal_seconds": flow.seconds,
                  "primal_solves": self.primal_solves, "wall_time": time.time() - self.started}
        history_id = self.history.add_evaluation(record)
        design = Design(index, history_id, x, flow, ratios, objective, constraints, feasibility, fields, kept_points)
        self._last = design
        self.designs[self.key(x)] = design
        self._prune_fields()
        self.say(f"design {index}: CD {flow.cd:.7g} (spread {flow.cd_std:.2g}), CL {flow.cl:.6g}, "
                 f"CM {flow.cm:.6g}, feasibility {feasibility:.3g}, {flow.iterations} iterations, "
                 f"{'converged' if flow.converged else 'NOT converged'} ({time.time() - began:.0f} s)")
        return design

    def warm_fields(self, design):
        """The design's own fields, or the latest design's once its own were pruned."""
        if os.path.isfile(os.path.join(design.fields_dir, "U")):
            return design.fields_dir
        return self._last.fields_dir

    def _prune_fields(self):
        designs = self._distinct_designs()
        keep = {d.fields_dir for d in sorted(designs, key=lambda d: d.id)[-KEPT_FIELD_SETS:]}
        keep.add(self._last.fields_dir)
        for d in designs:
            if d.fields_dir not in keep and os.path.isdir(d.fields_dir):
                fields_only = [n for n in os.listdir(d.fields_dir) if n != "points"]
                for name in fields_only:
                    os.remove(os.path.join(d.fields_dir, name))

    # -- gradients ---------------------------------------------------------------------
    def _gradient(self, x):
        design = self.evaluate(x)
        if design.flow is None:
            raise ShapeError(f"no gradient at design {design.index}: its mesh could not be moved")
        k = self.key(design.x)  # a design standing in for a nearby point shares its gradient
        if k not in self.gradients:
            began = time.time()
            flow_grad, solves = self._flow_gradient(design)
            geo_grad = self._geometry_gradient(design)
            cd_grad, cl_grad = flow_grad
            objective = cd_grad / self.cd0
            jac = np.vstack([cl_grad[None, :] / self.lift_scale, geo_grad])
            self.gradients[k] = (objective, jac)
            steps = [self.fd_step] * len(self.space)
            self.history.add_gradient(design.id, "central differences" if self.central else "forward differences",
                                      objective, jac, steps, solves, time.time() - began, self.primal_solves)
            self.say(f"gradient at design {design.index}: {solves} perturbed flow solutions in "
                     f"{time.time() - began:.0f} s ({len(self.pool)} at a time); {self.primal_solves} flow "
                     "solutions so far")
        return self.gradients[k]

    def _flow_gradient(self, design):
        lo, hi = self.space.bounds()
        perturbations = finite_difference.plan(design.x, hi, self.fd_step, self.central)
        names = self.space.names
        warm = self.warm_fields(design)

        def solve(slot, p):
            xp = design.x.copy()
            xp[p.variable] += p.step
            if self.space.variables[p.variable].key is not None:
                points = self.morpher.move(self.space.shape_values(xp), slot.name).points
            else:
                points = design.points_file
            slot.case.set_points(points)
            flow = slot.case.solve(self.space.angle_of_attack(xp), warm, slot.log)
            step = p.step * self.space.variables[p.variable].half_width
            self.say(f"  {names[p.variable]} {step:+.4g}: CD {flow.cd:.7g}, CL {flow.cl:.6g} "
                     f"({flow.iterations} iterations, {flow.seconds:.0f} s, {slot.name})")
            return [flow.cd, flow.cl]

        results = self.pool.map(solve, perturbations)
        with self._lock:
            self.primal_solves += len(perturbations)
        grad = finite_difference.differences([design.flow.cd, design.flow.cl], perturbations, results,
                                             len(self.space), self.central)
        return (grad[0], grad[1]), len(perturbations)

    def _geometry_gradient(self, design):
        n = len(self.space)
        jac = np.zeros((len(self.geometric), n))
        if not len(self.geometric):
            return jac
        model = os.path.join(self.work_dir, "geometry_step.vsp3")
        for k in self.space.shape_variables:
            values = []
            for sign in (1.0, -1.0):
                xp = design.x.copy()
                xp[k] += sign * GEOMETRY_STEP
                self.morpher.write_model(self.space.shape_values(xp), model)
                values.append(self.measure(model))
            jac[:, k] = (values[0] - values[1]) / (2.0 * GEOMETRY_STEP)
        return jac
