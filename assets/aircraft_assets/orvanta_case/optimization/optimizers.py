"""The optimizers the driver offers, run on a Problem, and their own logs.

SLSQP is scipy's; IPOPT is Debian's C library through ipopt_binding. SNOPT is proprietary
and not installed, and no other optimizer stands in for one that was asked for: such a
request ends the run with a message and an exit status saying so.
"""

import time

import numpy as np
from scipy.optimize import lsq_linear, minimize

from orvanta_case.optimization import ipopt_binding

SUPPORTED = ("SLSQP", "IPOPT")
LOG_FILES = {"SLSQP": "opt_SLSQP.txt", "IPOPT": "opt_IPOPT.txt", "SNOPT": "opt_SNOPT_summary.txt"}
# Relative change of the scaled objective (CD / CD_baseline) that counts as no progress:
# a little above the wander of trailing-window drag averages.
SLSQP_FTOL = 1e-5
IPOPT_OPTIONS = {"tol": 1e-5, "acceptable_tol": 1e-3, "acceptable_iter": 2, "constr_viol_tol": 1e-4,
                 "mu_strategy": "adaptive", "nlp_scaling_method": "none", "limited_memory_max_history": 6,
                 "print_level": 0}


def log_file(optimizer):
    return LOG_FILES.get(optimizer, LOG_FILES["SLSQP"])


def rejection(optimizer):
    """Why an optimizer cannot run here, or None when it can."""
    if optimizer == "SNOPT":
        return ("SNOPT is not available: it is proprietary and not installed on this machine. "
                "Run the optimization with optimizer SLSQP or IPOPT.")
    if optimizer not in SUPPORTED:
        return f"Unknown optimizer {optimizer!r}: the supported optimizers are SLSQP and IPOPT."
    if optimizer == "IPOPT":
        try:
            ipopt_binding.load_library()
        except ipopt_binding.IpoptUnavailable as error:
            return f"IPOPT is not available: {error}. Run the optimization with optimizer SLSQP."
    return None


def optimality(gradient, jacobian, constraints, n_equality, x, lower, upper, active=1e-3):
    """First-order optimality: the largest component of the Lagrangian's gradient with
    least-squares multipliers (inequalities only when active, and then non-negative),
    over the variables not held at a bound."""
    g = np.asarray(gradient, dtype=float)
    jac = np.atleast_2d(np.asarray(jacobian, dtype=float))
    rows = [i for i in range(len(constraints)) if i < n_equality or constraints[i] <= active]
    free = [(x[k] > lower[k] + 1e-9 and x[k] < upper[k] - 1e-9) or
            (x[k] <= lower[k] + 1e-9 and g[k] < 0) or (x[k] >= upper[k] - 1e-9 and g[k] > 0)
            for k in range(len(g))]
    free = np.array(free, dtype=bool)
    if not free.any():
        return 0.0
    if not rows:
        return float(np.max(np.abs(g[free])))
    a = jac[rows][:, free].T
    lo = np.array([-np.inf if i < n_equality else 0.0 for i in rows])
    fit = lsq_linear(a, g[free], bounds=(lo, np.full(len(rows), np.inf)))
    return float(np.max(np.abs(g[free] - a @ fit.x)))


class IterationLog:
    """Major iterations: into the history, the optimizer's log and the run log."""

    def __init__(self, problem, path, optimizer):
        self.problem = problem
        self.file = open(path, "w", encoding="utf-8")
        self.optimizer = optimizer
        self.file.write(f"{optimizer} on {len(problem.space)} variables ({', '.join(problem.space.names)}), "
                        f"1 equality and {len(problem.geometric)} inequality constraints\n")
        self.file.write(f"{'Iter':>5} {'Objective':>13} {'CD':>12} {'CL':>10} {'AoA':>8} {'Feasibility':>12} "
                        f"{'Optimality':>11} {'Solves':>7} {'Time(s)':>8}\n")
        self.file.flush()
        self.pending = []  # designs of major iterations recorded before their gradient was known

    def _optimality(self, design):
        p = self.problem
        if p.key(design.x) not in p.gradients:
            return None
        grad, jac = p.gradients[p.key(design.x)]
        lo, hi = p.space.bounds()
        return optimality(grad, jac, design.constraints, 1, design.x, lo, hi)

    def _fill_pending(self):
        for design in list(self.pending):
            value = self._optimality(design)
            if value is not None:
                self.problem.history.set_optimality(design.id, value)
                self.pending.remove(design)

    def record(self, major, x, optimality_value=None):
        p = self.problem
        self._fill_pending()
        d = p.evaluate(x)
        if d.flow is None:
            return  # a trial design whose mesh could not be moved is no iterate
        p.accepted = d
        if optimality_value is None:
            optimality_value = self._optimality(d)
            if optimality_value is None:
                self.pending.append(d)
        wall = time.time() - p.started
        p.history.add_iteration(major, d.id, d.objective, d.flow.cd, d.flow.cl, d.flow.angle_of_attack,
                                d.feasibility, optimality_value, p.primal_solves, wall)
        opt_text = f"{optimality_value:11.3e}" if optimality_value is not None else f"{'-':>11}"
        self.file.write(f"{major:5d} {d.objective:13.7f} {d.flow.cd:12.7g} {d.flow.cl:10.6g} "
                        f"{d.flow.angle_of_attack:8.4f} {d.feasibility:12.3e} {opt_text} {p.primal_solves:7d} "
                        f"{wall:8.0f}\n")
        self.file.flush()
        p.say(f"major iteration {major}: objective {d.objective:.7g} (CD {d.flow.cd:.7g}), CL {d.flow.cl:.6g}, "
              f"angle of attack {d.flow.angle_of_attack:.5g} deg, feasibility {d.feasibility:.3g}, "
              f"optimality {optimality_value if optimality_value is not None else float('nan'):.3g}, "
              f"{p.primal_solves} flow solutions so far, {wall / 60:.1f} min since the start")

    def finish(self, exit_status):
        self._fill_pending()
        self.file.write(f"Exit: {exit_status}\n")
        self.file.close()


# How often SLSQP may restart inside narrowed bounds before the optimization gives up on
# designs the mesh motion cannot reach.
MAX_NARROWINGS = 8


class NoProgress(Exception):
    """SLSQP accepted a step that brought it back to the design it stood on."""

    def __init__(self, x):
        super().__init__("no progress")
        self.x = np.array(x, dtype=float)


class UnusableTrial(Exception):
    """A trial design whose moved mesh failed its check."""

    def __init__(self, x):
        super().__init__("unusable trial design")
        self.x = np.array(x, dtype=float)


def narrowed_bounds(start, trial, lo, hi, shape_variables):
    """Bounds of the shape variables halfway from `start` towards a `trial` point the mesh could
    not follow; the angle of attack keeps its range."""
    lo, hi = lo.copy(), hi.copy()
    for k in shape_variables:
        middle = start[k] + 0.5 * (trial[k] - start[k])
        if trial[k] > start[k]:
            hi[k] = min(hi[k], middle)
        elif trial[k] < start[k]:
            lo[k] = max(lo[k], middle)
    return lo, hi


def run_slsqp(problem, max_iterations, log):
    """(final x, exit status text, iterations). scipy's SLSQP cannot take a failed evaluation,
    so when a trial design's mesh cannot be moved it restarts from its latest iterate with the
    moved shape variables' bounds halfway towards that trial."""
    lo, hi = (np.asarray(b, dtype=float) for b in problem.space.bounds())
    x0 = problem.space.x0()
    problem.evaluate(x0)
    log.record(0, x0)
    accepted = [problem.key(x0)]
    start = x0
    for _ in range(MAX_NARROWINGS + 1):
        remaining = int(max_iterations) - (len(accepted) - 1)
        if remaining <= 0:
            return start, "Iteration limit reached (SLSQP restarted inside narrowed bounds)", len(accepted) - 1
        try:
            result = _slsqp_pass(problem, start, lo, hi, remaining, accepted, log)
        except NoProgress as stall:
            return stall.x, ("stopped: the line search found no better design than its latest iterate "
                             "(the differences left are below the flow solutions' reproducibility)"), len(accepted) - 1
        except UnusableTrial as trial:
            start = problem.accepted.x if problem.accepted is not None else x0
            lo, hi = narrowed_bounds(start, trial.x, lo, hi, problem.space.shape_variables)
            ranges = ", ".join(f"{problem.space.names[k]} [{lo[k]:.4g}, {hi[k]:.4g}]"
                               for k in problem.space.shape_variables)
            problem.say(f"SLSQP restarts from its latest iterate with narrowed scaled bounds: {ranges}")
            continue
        if problem.key(result.x) not in accepted:
            accepted.append(problem.key(result.x))
            log.record(len(accepted) - 1, result.x)
        return np.asarray(result.x), f"{result.message} (SLSQP exit mode {result.status})", len(accepted) - 1
    return start, f"stopped: the mesh could not follow {MAX_NARROWINGS} narrowed steps", len(accepted) - 1


def _slsqp_pass(problem, x_start, lo, hi, max_iterations, accepted, log):
    def usable(x):
        design = problem.evaluate(x)
        if design.flow is None:
            raise UnusableTrial(x)
        return design

    # SLSQP asks for derivatives only at the iterates its line search accepted (its callback
    # can see a trial point), so each new point of a gradient request ends a major iteration.
    def gradient(x):
        design = usable(x)
        if problem.key(x) not in accepted:
            if problem.accepted is design:  # a step back onto the same solved design
                raise NoProgress(x)
            accepted.append(problem.key(x))
            log.record(len(accepted) - 1, x)
        return problem.gradient(x)

    constraints = [{"type": "eq", "fun": lambda x: usable(x).constraints[:1],
                    "jac": lambda x: problem.jacobian(x)[:1]}]
    if len(problem.geometric):
        constraints.append({"type": "ineq", "fun": lambda x: usable(x).constraints[1:],
                            "jac": lambda x: problem.jacobian(x)[1:]})
    return minimize(lambda x: problem.objective_scale * usable(x).objective, x_start, jac=gradient,
                    method="SLSQP", bounds=list(zip(lo, hi)), constraints=constraints,
                    # scipy counts the iteration that finds the first direction: one more gives
                    # max_iterations accepted steps.
                    options={"maxiter": int(max_iterations) + 1, "ftol": SLSQP_FTOL})


def run_ipopt(problem, max_iterations, log, output_file):
    """(final x, exit status text, iterations)."""
    lo, hi = problem.space.bounds()
    x0 = problem.space.x0()
    majors = [-1]

    def intermediate(iteration, objective, _inf_pr, inf_du):
        # IPOPT does not pass its iterate; it is the latest design with this objective.
        matches = [d for d in problem.designs.values() if problem.objective_scale * d.objective == objective]
        design = max(matches, key=lambda d: d.index) if matches else problem._last
        majors[0] = iteration
        log.record(iteration, design.x, inf_du)
        return True

    options = dict(IPOPT_OPTIONS, max_iter=int(max_iterations))
    result = ipopt_binding.solve(problem, x0, (lo, hi), problem.constraint_bounds(ipopt_binding.INFINITY), options,
                                 output_file=output_file, intermediate=intermediate)
    return np.asarray(result.x), f"{result.message} (IPOPT status {result.status})", max(majors[0], 0)
