"""The optimization driver: `script_run_dafoam.py -task=run_driver`.

It writes, in the case directory: the run log on standard output (the host sends it to
log_optimization.txt), OptView.hst, the optimizer's log (opt_SLSQP.txt, opt_IPOPT.txt),
reports/script_run_dafoam/driver_scaling_report.html, and at the end the optimized design's
decomposed solution (processor*/) with its moved mesh points in constant/polyMesh, which
the run's next commands reconstruct and export. Its working files stay in opt_work/,
among them the baseline mesh and the baseline solution.
"""

import math
import os
import re
import shutil
import sys
import time

from orvanta_case import case_inputs, foam_files, mpi_jobs
from orvanta_case.flow_conditions import FlowConditions, ForceReference, Freestream
from orvanta_case.optimization import confirmation, flow, geometry, optimizers, scaling_report, target_lift
from orvanta_case.optimization.constraints import GeometricConstraints
from orvanta_case.optimization.design_space import ANGLE_OF_ATTACK, DesignSpace
from orvanta_case.optimization.finite_difference import SlotPool
from orvanta_case.optimization.history import HistoryWriter
from orvanta_case.optimization.problem import Problem, Slot
from orvanta_case.optimization.settings import read_settings
from orvanta_case.optimization.shape import Morpher

WORK_DIR = "opt_work"
HISTORY_FILE = "OptView.hst"
CONFIG_FILE = "vsp_design_vars.json"
MODEL_FILE = "aircraft.vsp3"
MOVE_TEMPLATE = os.path.join("optimization", "move_mesh")
# Iterations a warm-started perturbed solution typically needs (window plus settling).
EXPECTED_PERTURBED_ITERATIONS = 110


def say(message):
    print(f"orvanta-opt: {message}", flush=True)


def baseline_model(case_dir):
    """The baseline model, kept as aircraft_baseline.vsp3 at the first run: the run ends by
    writing the optimized design into the case's aircraft.vsp3."""
    kept = os.path.join(case_dir, confirmation.BASELINE_MODEL)
    if not os.path.isfile(kept):
        shutil.copy(os.path.join(case_dir, MODEL_FILE), kept + ".tmp")
        os.replace(kept + ".tmp", kept)
    return kept


def write_optimized_model(case_dir, problem, design):
    path = os.path.join(case_dir, MODEL_FILE)
    problem.morpher.write_model(problem.space.shape_values(design.x), path + ".tmp.vsp3")
    os.replace(path + ".tmp.vsp3", path)
    return path


def confirm(args, case_dir, problem, baseline, final, n_ranks, settings):
    """The baseline and the final design re-meshed finer and solved at the target lift (see
    confirmation); {} when switched off or not possible."""
    offset = settings["optimization_confirmation_levels"]
    if offset <= 0:
        say("confirmation on a finer mesh switched off (optimization_confirmation_levels 0)")
        return {}
    primal = flow.primal_settings(args, n_ranks)
    # A cold start at a finer mesh, with restarts of the lift search: twice a solution's limit.
    primal.max_iterations = 2 * primal.max_iterations
    checker = confirmation.Confirmation(case_dir, os.path.join(case_dir, WORK_DIR), primal,
                                        flow_conditions(args, case_dir), args.lift_constraint, offset, sys.stdout)
    designs = {"baseline": (os.path.join(case_dir, confirmation.BASELINE_MODEL), baseline.flow.angle_of_attack),
               "optimized": (os.path.join(case_dir, MODEL_FILE), final.flow.angle_of_attack)}
    try:
        return checker.run(designs)
    except (RuntimeError, OSError) as error:  # the optimization's own result stands
        say(f"confirmation on a finer mesh failed: {error}")
        return {"error": str(error)}


def flow_conditions(args, case_dir):
    geometry_values = case_inputs.reference_geometry(case_dir)
    reference = ForceReference(args.reference_area, args.reference_length,
                               case_inputs.moment_centre(geometry_values, args.reference_length))
    return FlowConditions(Freestream.at_mach(args.mach_number), args.angle_of_attack, args.reynolds_number,
                          reference)


def baseline_mesh(case_dir, work):
    """The unmoved mesh: kept in opt_work at the first run, since the run ends by writing the
    optimized points into the case's own mesh."""
    kept = os.path.join(work, "baseline_mesh")
    if not os.path.isdir(kept):
        source = os.path.join(case_dir, "constant", "polyMesh")
        if not os.path.isfile(os.path.join(source, "points")):
            raise FileNotFoundError(f"{source} holds no mesh: run generate-cfd-mesh first")
        shutil.copytree(source, kept + ".tmp")
        os.replace(kept + ".tmp", kept)
    return kept


def reject(case_dir, optimizer, reason, history):
    say(reason)
    with open(os.path.join(case_dir, optimizers.log_file(optimizer)), "w", encoding="utf-8") as f:
        f.write(reason + "\n")
    history.set_meta(exit_status=f"not run: {reason}", primal_solves=0, iterations=0)
    return 2


def describe_problem(space, geometric, args, n_slots, scheme):
    for v in space.variables:
        say(f"variable {v.name} ({v.parameter}): baseline {v.baseline:.6g}, range [{v.lower:.6g}, {v.upper:.6g}]")
    say(f"objective: drag coefficient; constraint CL = {args.lift_constraint:g}; geometric lower bounds: "
        + (", ".join(f"{g.replace('_', ' ')} >= {b:g} x baseline" for g, b in geometric.group_bounds.items())
           or "none") + (f" (disabled: {', '.join(geometric.disabled)})" if geometric.disabled else ""))
    per_gradient = len(space) * (2 if scheme == "central" else 1)
    say(f"gradients by {scheme} finite differences: {per_gradient} perturbed flow solutions per design "
        f"iteration, {n_slots} at a time, plus the design's own solution and those of line searches")


def estimate_iteration(problem, baseline, n_ranks, n_slots, scheme):
    """Logs the expected duration of one design iteration from the baseline solution's pace."""
    per_iteration = baseline.flow.seconds / max(baseline.flow.total_iterations, baseline.flow.iterations, 1)
    serial = per_iteration * n_ranks * 0.8
    perturbed = len(problem.space) * (2 if scheme == "central" else 1)
    rounds = math.ceil(perturbed / n_slots)
    own = per_iteration * max(60, baseline.flow.iterations // 2)
    seconds = own + rounds * (EXPECTED_PERTURBED_ITERATIONS * serial + 5.0)
    # Perturbing the angle of attack changes the whole freestream: such solutions may run to
    # the iteration limit before the drag settles, which bounds an iteration from above.
    limit = problem.nominal.settings.max_iterations
    longest = own + rounds * (limit * serial + 5.0)
    say(f"the baseline solution took {baseline.flow.seconds:.0f} s ({per_iteration:.2f} s per iteration on "
        f"{n_ranks} rank(s)); each design iteration will take about {seconds / 60:.1f} min, up to "
        f"{longest / 60:.1f} min when perturbed solutions run to their limit of {limit} iterations: one "
        f"warm-started solution plus {rounds} round(s) of {min(n_slots, perturbed)} perturbed solution(s) "
        f"side by side")


def keep_baseline(problem, work):
    target = os.path.join(work, "baseline")
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(problem.nominal.directory, target,
                    ignore=shutil.ignore_patterns("processor*", "postProcessing"))


def place_solution(case_dir, problem, design):
    """The final design's solution into the case: its moved points, and its decomposed
    fields (a serial solution's latest time) for the run's reconstruction step."""
    if problem._last is not design:
        say("solving the final design once more so that the case holds its solution")
        design = problem.solve_again(design)
    shutil.copy(design.points_file, os.path.join(case_dir, "constant", "polyMesh", "points"))
    for name in foam_files.time_directories(case_dir):
        if float(name) != 0.0:
            shutil.rmtree(os.path.join(case_dir, name))
    for name in os.listdir(case_dir):
        if re.fullmatch(r"processor\d+", name):
            shutil.rmtree(os.path.join(case_dir, name))
    source = problem.nominal.directory
    processors = [n for n in os.listdir(source) if re.fullmatch(r"processor\d+", n)]
    if processors:
        for name in processors:
            shutil.copytree(os.path.join(source, name), os.path.join(case_dir, name))
    else:
        latest = problem.nominal.latest_time()
        shutil.copytree(os.path.join(source, latest), os.path.join(case_dir, latest))
    return design


def setup(args, case_dir, history, began):
    settings = read_settings(case_dir)
    _, n_ranks = mpi_jobs.rank_and_size()
    n_slots = max(1, n_ranks)
    work = os.path.join(case_dir, WORK_DIR)
    os.makedirs(work, exist_ok=True)
    mesh = baseline_mesh(case_dir, work)
    config, model = os.path.join(case_dir, CONFIG_FILE), baseline_model(case_dir)
    space = DesignSpace(geometry.design_variables(config, model), settings["optimization_design_variables"],
                        args.angle_of_attack)
    geometric = GeometricConstraints(geometry.measure_wing(model), args.thickness_constraint,
                                     args.le_radius_constraint, args.volume_constraint)
    scheme = settings["optimization_fd_scheme"]
    describe_problem(space, geometric, args, n_slots, scheme)
    conditions = flow_conditions(args, case_dir)
    morpher = Morpher(work, config, model, mesh, os.path.join(case_dir, MOVE_TEMPLATE), sys.stdout)
    morpher.prepare()
    nominal = flow.FlowCase(os.path.join(work, "nominal"), case_dir, mesh, flow.primal_settings(args, n_ranks),
                            conditions)
    slots = []
    for i in range(n_slots):
        case = flow.FlowCase(os.path.join(work, f"slot_{i}"), case_dir, mesh, flow.primal_settings(args, 1),
                             conditions)
        slots.append(Slot(f"slot_{i}", case, open(os.path.join(work, f"slot_{i}.log"), "w", encoding="utf-8")))
    problem = Problem(space, geometric, args.lift_constraint, morpher, nominal, SlotPool(slots), history,
                      sys.stdout, settings["optimization_fd_step"], central=scheme == "central")
    problem.started = began
    history.set_meta(design_variables=[vars(v) for v in space.variables], constraint_labels=geometric.labels,
                     constraint_groups=geometric.group_bounds, disabled_constraints=geometric.disabled,
                     lift_target=args.lift_constraint, lift_scale=problem.lift_scale,
                     gradient=f"{scheme} finite differences", fd_step=settings["optimization_fd_step"],
                     parallel_solves=n_slots, n_ranks=n_ranks, primal_std_tol=args.primal_func_std_tol,
                     primal_slope_tol=args.primal_func_slope_tol)
    return problem, n_ranks, n_slots, scheme, settings


def run_driver(args, case_dir="."):
    began = time.time()
    optimizer = args.optimizer.upper()
    history = HistoryWriter(os.path.join(case_dir, HISTORY_FILE))
    history.set_meta(optimizer=optimizer, inputs=vars(args))
    reason = optimizers.rejection(optimizer)
    if reason:
        return reject(case_dir, optimizer, reason, history)

    problem, n_ranks, n_slots, scheme, settings = setup(args, case_dir, history, began)
    work = os.path.join(case_dir, WORK_DIR)
    baseline = problem.evaluate(problem.space.x0())
    keep_baseline(problem, work)
    history.set_meta(baseline_evaluation=baseline.id, cd_baseline=problem.cd0)
    estimate_iteration(problem, baseline, n_ranks, n_slots, scheme)
    history.set_meta(objective_scale=problem.calibrate_objective(baseline.x))
    conditions = (f"Mach {args.mach_number:g}, Reynolds number {args.reynolds_number:g}, "
                  f"{args.solver_name} with {args.turbulence_model}")
    scaling_report.write_report(case_dir, problem, optimizer, conditions, f"{scheme} finite differences")

    log = optimizers.IterationLog(problem, os.path.join(
        case_dir, "opt_SLSQP.txt" if optimizer == "SLSQP" else "opt_IPOPT_iterations.txt"), optimizer)
    status, code = None, 0
    try:
        if optimizer == "SLSQP":
            x, status, iterations = optimizers.run_slsqp(problem, args.max_opt_iters, log)
        else:
            x, status, iterations = optimizers.run_ipopt(problem, args.max_opt_iters, log,
                                                         os.path.join(case_dir, "opt_IPOPT.txt"))
    except Exception as error:  # a failed solve ends the optimization; the best so far is kept
        status, code = f"failed: {error}", 1
        x, iterations = None, None
        say(f"the optimization stopped: {error}")
    # A failed run, or one that ended on a trial design whose mesh could not move, keeps its
    # latest iterate.
    if x is None or problem.evaluate(x).flow is None:
        x = (problem.accepted or problem._last).x
    log.finish(status)
    final = place_solution(case_dir, problem, problem.evaluate(x))
    write_optimized_model(case_dir, problem, final)
    history.set_meta(exit_status=status, final_evaluation=final.id, iterations=iterations,
                     primal_solves=problem.primal_solves)
    history.set_meta(confirmation=confirm(args, case_dir, problem, baseline, final, n_ranks, settings),
                     wall_time=time.time() - began)
    reduction = 100.0 * (problem.cd0 - final.flow.cd) / problem.cd0
    say(f"{optimizer} finished: {status}. CD {problem.cd0:.7g} -> {final.flow.cd:.7g} ({reduction:+.2f} % "
        f"reduction as solved{_at_target_lift(problem, final)}), CL {final.flow.cl:.6g} (target "
        f"{args.lift_constraint:g}), angle of attack "
        f"{final.flow.angle_of_attack:.5g} deg, feasibility {final.feasibility:.3g}; {problem.primal_solves} flow "
        f"solutions in {(time.time() - began) / 60:.1f} min")
    return code


def _at_target_lift(problem, final):
    """", CD at the target lift ..." for the closing line, from the final design's gradient (the
    angle of attack's column gives dCD/dCL at fixed shape); empty without one."""
    names = [v.name for v in problem.space.variables]
    gradient = problem.gradients.get(problem.key(final.x))
    if ANGLE_OF_ATTACK not in names or gradient is None:
        return ""
    slope = target_lift.slope_from_gradient(gradient[0], gradient[1], names.index(ANGLE_OF_ATTACK), problem.cd0,
                                            problem.lift_scale)
    if slope is None:
        return ""
    cd = target_lift.cd_at_target({"cd": final.flow.cd, "cl": final.flow.cl}, problem.lift_target, slope)
    return "" if cd is None else f"; CD at the target lift {cd:.7g} with dCD/dCL {slope:.4g}"


def add_driver_options(parser):
    """The options -task=run_driver takes besides the flow driver's own."""
    parser.add_argument("-optimizer", default="SLSQP", help="SLSQP or IPOPT (SNOPT is not available)")
    parser.add_argument("-lift_constraint", type=float, default=0.5, help="lift coefficient to hold")
    parser.add_argument("-le_radius_constraint", type=float, default=0.7,
                        help="lower bound of each section's leading-edge radius / baseline; negative disables")
    parser.add_argument("-thickness_constraint", type=float, default=0.5,
                        help="lower bound of each section's thickness / baseline at every station; negative disables")
    parser.add_argument("-volume_constraint", type=float, default=1.0,
                        help="lower bound of the wing's volume / baseline; negative disables")
    parser.add_argument("-max_opt_iters", type=int, default=100, help="major iterations of the optimizer")
    parser.add_argument("-max_adj_iters", type=int, default=500,
                        help="iteration limit of an adjoint solution (finite differences use none)")
    parser.add_argument("-pc_fill_level", type=int, default=1, help="adjoint preconditioner fill level")
