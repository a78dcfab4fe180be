#!/usr/bin/env python3
"""Flow driver of an orvanta aircraft case: a steady RANS solution with OpenFOAM.

    mpirun -np N python script_run_dafoam.py -task=run_model -angle_of_attack=2.0
        -fixed_lift_coeff=-1.0 -mach_number=0.3 -solver_name=DARhoSimpleFoam
        -turbulence_model=SpalartAllmaras -max_flow_iters=1000 -reynolds_number=1000000.0
        -primal_func_std_tol=1e-05 -primal_func_slope_tol=1e-06 -reference_area=16.8
        -reference_length=1.486 [-initialize_from=CASE]

Run in the case directory. Only MPI rank 0 works; it runs the solver itself as an N-rank
MPI job (see orvanta_case/mpi_jobs.py). The solver's output, with the force coefficients
after every iteration, goes to standard output (the host redirects it into
log_simulation.txt); the final state is also written to flow_solution.json.
"""

import argparse
import sys

from orvanta_case import case_inputs, mpi_jobs, primal_solution
from orvanta_case.flow_conditions import FlowConditions, ForceReference, Freestream
from orvanta_case.flow_solver import SOLVERS
from orvanta_case.initial_fields import TURBULENCE_FIELDS
from orvanta_case.optimization import driver
from orvanta_case.warm_start import WARM_START_DIR, check_staged

CASE_DIR = "."


def flow_conditions(args):
    geometry = case_inputs.reference_geometry(CASE_DIR)
    reference = ForceReference(args.reference_area, args.reference_length,
                               case_inputs.moment_centre(geometry, args.reference_length))
    conditions = FlowConditions(Freestream.at_mach(args.mach_number), args.angle_of_attack,
                                args.reynolds_number, reference)
    return conditions, geometry


def run_model(args):
    """One flow solution at the given conditions (and, with -fixed_lift_coeff >= 0, at the
    angle of attack that gives that lift coefficient)."""
    conditions, geometry = flow_conditions(args)
    _, n_ranks = mpi_jobs.rank_and_size()
    settings = primal_solution.PrimalSettings(
        solver_name=args.solver_name, turbulence_model=args.turbulence_model,
        max_iterations=args.max_flow_iters, std_tol=args.primal_func_std_tol,
        slope_tol=args.primal_func_slope_tol, n_ranks=n_ranks,
        oversubscribe=mpi_jobs.oversubscribe_requested(), fixed_lift_coeff=args.fixed_lift_coeff,
        lift_slope_estimate=primal_solution.lifting_line_slope(
            float(geometry["aspect_ratio"]), case_inputs.half_chord_sweep_deg(geometry), args.mach_number))
    initial = "cold"
    if args.initialize_from:
        check_staged(CASE_DIR, args.initialize_from)
        initial = "warm"
    result = primal_solution.solve_primal(CASE_DIR, conditions, settings, initial=initial,
                                          warm_dir=WARM_START_DIR, out=sys.stdout)
    primal_solution.write_summary(CASE_DIR, result, conditions, settings)
    print(f"orvanta-flow: final angle of attack {result.angle_of_attack:.6g} deg, CD {result.cd:.6g}, "
          f"CL {result.cl:.6g}, CM {result.cm:.6g}, {result.iterations} iterations in {len(result.runs)} "
          f"primal run(s), {'converged' if result.converged else 'not converged'}", flush=True)
    return 0


TASKS = {"run_model": run_model, "run_driver": driver.run_driver}


def positive_int(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, got {value}")
    return value


def build_parser():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-task", required=True, choices=sorted(TASKS))
    parser.add_argument("-angle_of_attack", type=float, default=2.0, help="degrees")
    parser.add_argument("-fixed_lift_coeff", type=float, default=-1.0,
                        help="lift coefficient to reach by varying the angle of attack; -1 disables")
    parser.add_argument("-mach_number", type=float, default=0.3,
                        help="freestream Mach number (sea-level standard atmosphere)")
    parser.add_argument("-solver_name", default="DARhoSimpleFoam", choices=sorted(SOLVERS))
    parser.add_argument("-turbulence_model", default="SpalartAllmaras", choices=sorted(TURBULENCE_FIELDS))
    parser.add_argument("-max_flow_iters", type=positive_int, default=1000, help="iteration limit, all runs")
    parser.add_argument("-reynolds_number", type=float, default=1e6,
                        help="Reynolds number per reference length, the wing's mean aerodynamic chord")
    parser.add_argument("-primal_func_std_tol", type=float, default=1e-5,
                        help="stop once the standard deviation of CD over the trailing window is below this")
    parser.add_argument("-primal_func_slope_tol", type=float, default=1e-6,
                        help="... and the magnitude of its least-squares slope per iteration below this")
    parser.add_argument("-reference_area", type=float, required=True,
                        help="reference area of the whole aircraft; the half model uses half of it")
    parser.add_argument("-reference_length", type=float, required=True,
                        help="reference length (mean aerodynamic chord) of the coefficients and of the Reynolds number")
    parser.add_argument("-initialize_from", default="",
                        help="case whose solution `script_workflow_helpers.py stage-warm-start` staged")
    driver.add_driver_options(parser)
    return parser


def main(argv=None):
    args = build_parser().parse_args(argv)
    rank, _ = mpi_jobs.rank_and_size()
    if rank != 0:
        return 0
    mpi_jobs.release_core_pinning()
    mpi_jobs.end_with_parent()
    try:
        return TASKS[args.task](args)
    except (OSError, RuntimeError, ValueError) as error:
        print(f"script_run_dafoam.py: error: {error}", file=sys.stderr, flush=True)
        return 1


if __name__ == "__main__":
    sys.exit(main())
