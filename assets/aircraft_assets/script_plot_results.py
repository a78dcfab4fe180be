"""Figures of an orvanta aircraft case, one mode per kind of figure.

    python script_plot_results.py -mode <mode> -case_dir . [mode options]

Each mode is one function below, registered in MODES with the options it takes; the
drawing itself lives in the orvanta_case package. Figures go to <case_dir>/plots.
"""

import argparse
import glob
import os
import sys
import time

from orvanta_case import aircraft_views, convergence_plots, flow_field_views, pressure_profiles, y_plus
from orvanta_case.optimization import history_plots


def aircraft_plot_geometry(args):
    """Front, side, top and isometric views of the aircraft surface."""
    return aircraft_views.plot_geometry_views(args.case_dir, args.geometry_file, args.camera_scale)


def aircraft_plot_mesh(args):
    """Front, side, top and 3D views of the surface mesh: aircraft patch and nearby symmetry plane."""
    return aircraft_views.plot_mesh_views(args.case_dir, args.mesh_file, args.camera_scale)


def general_plot_residual(args):
    """Initial residuals of every solved field against iteration, log scale."""
    return convergence_plots.plot_residuals(args.case_dir, args.log_file)


def general_plot_function(args):
    """Histories of CD, CL and CM, one figure each."""
    return convergence_plots.plot_functions(args.case_dir, args.log_file)


def aircraft_plot_flow_field(args):
    """3D view of (field - var_ref) * var_scaling on the aircraft surface (field: p or |U|)."""
    return flow_field_views.plot_flow_field(args.case_dir, args.flow_field, args.mesh_file, args.var_lower,
                                            args.var_upper, args.var_ref, args.var_scaling, args.field_label)


def aircraft_plot_y_plus(args):
    """3D views of first-cell y+ on the aircraft in the latest time (the yPlus field)."""
    wall = y_plus.read_final(args.case_dir, args.mesh_file)
    if wall is None:
        raise ValueError(f"the latest time of {args.case_dir} holds no {y_plus.FIELD} field")
    surface, values = wall
    return [flow_field_views.plot_y_plus(args.case_dir, surface, values, surface.areas())]


def aircraft_plot_pressure_profile(args):
    """Cp against x/c on the wing at spanwise stations, cut from the surface file."""
    mesh_file = args.mesh_file
    if args.time_step != -1:
        mesh_file = os.path.join(os.path.dirname(mesh_file), "*_" + str(args.time_step), "boundary.vtp")
        matches = sorted(glob.glob(os.path.join(args.case_dir, mesh_file)))
        if not matches:
            raise FileNotFoundError(f"no surface file {mesh_file} for time step {args.time_step}")
        mesh_file = os.path.relpath(matches[0], args.case_dir)
    return pressure_profiles.plot_pressure_profiles(
        args.case_dir, mesh_file, args.spanwise_y, args.spanwise_fractions, args.reference_pressure,
        args.pressure_coefficient_scale, args.var_lower, args.var_upper)


def general_plot_optimization_history(args):
    """Objective, lift, angle of attack, feasibility, optimality and design variables per major
    iteration, and the adjoint residuals (or that no adjoint ran)."""
    return history_plots.plot_history(args.case_dir, args.hist_file, args.optimizer_log)

def _log_file(parser):
    parser.add_argument("-log_file", default="log_simulation.txt", help="the flow solver's log")


def _flow_field(parser):
    parser.add_argument("-flow_field", required=True, choices=["Cp", "U"])
    _colour_range(parser)
    parser.add_argument("-var_ref", type=float, required=True, help="subtracted from the field")
    parser.add_argument("-var_scaling", type=float, required=True, help="multiplies field - var_ref")
    parser.add_argument("-field_label", default=None, help="colour-bar label")
    parser.add_argument("-mesh_file", nargs="+", default=["VTK/boundary.vtp"],
                        help="surface file; two files draw a baseline and an optimized design")


def _pressure_profile(parser):
    parser.add_argument("-time_step", type=int, default=-1, help="-1: the surface file as given (latest time)")
    parser.add_argument("-mesh_file", default="VTK/boundary.vtp")
    parser.add_argument("-reference_pressure", type=float, required=True, help="Pa")
    parser.add_argument("-pressure_coefficient_scale", type=float, required=True, help="dynamic pressure, Pa")
    _colour_range(parser)
    parser.add_argument("-spanwise_y", type=float, nargs="*", default=[], help="stations, m")
    parser.add_argument("-spanwise_fractions", type=float, nargs="*", default=[],
                        help="the stations as fractions of the semi-span")


def _colour_range(parser):
    parser.add_argument("-var_lower", type=float, required=True)
    parser.add_argument("-var_upper", type=float, required=True)


def _camera_scale(parser):
    parser.add_argument("-camera_scale", type=float, default=0.9,
                        help="fraction of the figure the aircraft fills (0 < s <= 1)")


MODES = {
    "aircraft_plot_geometry": (aircraft_plot_geometry, lambda p: (
        p.add_argument("-geometry_file", default="aircraft.stl"), _camera_scale(p))),
    "aircraft_plot_mesh": (aircraft_plot_mesh, lambda p: (
        p.add_argument("-mesh_file", default="VTK/boundary.vtp"), _camera_scale(p))),
    "general_plot_residual": (general_plot_residual, _log_file),
    "general_plot_function": (general_plot_function, _log_file),
    "aircraft_plot_flow_field": (aircraft_plot_flow_field, _flow_field),
    "aircraft_plot_pressure_profile": (aircraft_plot_pressure_profile, _pressure_profile),
    "aircraft_plot_y_plus": (aircraft_plot_y_plus, lambda p: p.add_argument("-mesh_file", default=y_plus.VTK_FILE)),
    "general_plot_optimization_history": (general_plot_optimization_history, lambda p: (
        p.add_argument("-hist_file", default="OptView.hst"), p.add_argument("-optimizer_log", default="opt_SLSQP.txt"))),
}


def build_parser(mode):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-mode", required=True, choices=sorted(MODES))
    parser.add_argument("-case_dir", default=".")
    if mode in MODES:
        MODES[mode][1](parser)
    return parser


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    # The mode decides which options exist, so it is read first.
    probe = argparse.ArgumentParser(add_help=False)
    probe.add_argument("-mode")
    mode = probe.parse_known_args(argv)[0].mode
    args = build_parser(mode).parse_args(argv)
    if not 0 < getattr(args, "camera_scale", 1.0) <= 1:
        print(f"{args.mode}: -camera_scale must be in (0, 1], got {args.camera_scale}", file=sys.stderr)
        return 2
    start = time.time()
    try:
        written = MODES[args.mode][0](args)
    except (OSError, RuntimeError, ValueError) as error:
        print(f"{args.mode}: {error}", file=sys.stderr)
        return 1
    for path in written:
        print(f"wrote {path}")
    print(f"{args.mode}: {len(written)} figures in {time.time() - start:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
