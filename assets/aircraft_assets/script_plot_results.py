"""Figures of an orvanta aircraft case, one mode per kind of figure.

    python script_plot_results.py -mode <mode> -case_dir . [mode options]

Each mode is one function below, registered in MODES with the options it takes; the
drawing itself lives in the orvanta_case package. Figures go to <case_dir>/plots.
"""

import argparse
import sys
import time

from orvanta_case import aircraft_views


def aircraft_plot_geometry(args):
    """Front, side, top and isometric views of the aircraft surface."""
    return aircraft_views.plot_geometry_views(args.case_dir, args.geometry_file, args.camera_scale)


def aircraft_plot_mesh(args):
    """Front, side, top and 3D views of the surface mesh: aircraft patch and nearby symmetry plane."""
    return aircraft_views.plot_mesh_views(args.case_dir, args.mesh_file, args.camera_scale)


def _camera_scale(parser):
    parser.add_argument("-camera_scale", type=float, default=0.9,
                        help="fraction of the figure the aircraft fills (0 < s <= 1)")


MODES = {
    "aircraft_plot_geometry": (aircraft_plot_geometry, lambda p: (
        p.add_argument("-geometry_file", default="aircraft.stl"), _camera_scale(p))),
    "aircraft_plot_mesh": (aircraft_plot_mesh, lambda p: (
        p.add_argument("-mesh_file", default="VTK/boundary.vtp"), _camera_scale(p))),
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
    except (OSError, ValueError) as error:
        print(f"{args.mode}: {error}", file=sys.stderr)
        return 1
    for path in written:
        print(f"wrote {path}")
    print(f"{args.mode}: {len(written)} figures in {time.time() - start:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
