"""Workflow steps of an orvanta aircraft case that the skills run as subcommands.

Each subcommand is one function below; shared code lives in the orvanta_case package
shipped next to this script. Paths are relative to the case directory (the working
directory the host runs commands in).
"""

import argparse
import os
import sys

from orvanta_case import case_files, cfd_metrics, mesh_analysis, warm_start


def write_mesh_analysis(args):
    """Condenses the last checkMesh run of the mesh log into the metrics file, and lists the
    mesh outputs that exist in the analysis file."""
    case_dir = args.case_dir
    analysis = mesh_analysis.mesh_outputs(case_dir, args.metrics_file, args.log_file)
    # The outputs are worth recording even when the log cannot be read: they say how far
    # the run got.
    case_files.write_json(os.path.join(case_dir, args.analysis_file), analysis)
    metrics = mesh_analysis.mesh_metrics(case_dir, args.log_file)
    case_files.write_json(os.path.join(case_dir, args.metrics_file), metrics)
    if mesh_analysis.drop_unusable_mesh(analysis, metrics).get("problems"):
        case_files.write_json(os.path.join(case_dir, args.analysis_file), analysis)
        print("\n".join(analysis["problems"]))
    print(mesh_analysis.summary_line(metrics))
    print(f"outputs: {', '.join(analysis['outputs'])}")
    if analysis["missing_outputs"]:
        print(f"missing: {', '.join(analysis['missing_outputs'])}")


def stage_warm_start(args):
    """Brings the latest solution of an earlier case onto this case's mesh (copied for the
    same mesh, mapped otherwise) for the flow driver's -initialize_from."""
    record = warm_start.stage(args.case_dir, args.initialize_from, sys.stdout)
    print(f"warm start {record['method']} from {record['source']} (time {record['time']}): "
          f"{', '.join(record['fields'])}")


def write_cfd_analysis(args):
    """Condenses the flow solver's log (read by the host's own reader) into the CFD metrics."""
    metrics = cfd_metrics.cfd_metrics(args.case_dir, args.log_file)
    case_files.write_json(os.path.join(args.case_dir, args.output_file), metrics)
    print(cfd_metrics.summary_line(metrics))


def build_parser():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True, metavar="command")

    mesh = commands.add_parser("write-mesh-analysis", help=write_mesh_analysis.__doc__.splitlines()[0])
    mesh.add_argument("--log-file", default="log_mesh.txt", help="log that ends with a checkMesh run")
    mesh.add_argument("--metrics-file", default="mesh_analysis_metrics.json")
    mesh.add_argument("--analysis-file", default="mesh_analysis.json")
    mesh.add_argument("--case-dir", default=".")
    mesh.set_defaults(handler=write_mesh_analysis)

    warm = commands.add_parser("stage-warm-start", help=stage_warm_start.__doc__.splitlines()[0])
    warm.add_argument("--initialize-from", required=True,
                      help="earlier case; a relative path is taken against the case's parent directory")
    warm.add_argument("--case-dir", default=".")
    warm.set_defaults(handler=stage_warm_start)

    cfd = commands.add_parser("write-cfd-analysis", help=write_cfd_analysis.__doc__.splitlines()[0])
    cfd.add_argument("--log-file", default="log_simulation.txt", help="the flow solver's log")
    cfd.add_argument("--output-file", default="cfd_analysis_metrics.json")
    cfd.add_argument("--case-dir", default=".")
    cfd.set_defaults(handler=write_cfd_analysis)
    return parser


def main(argv=None):
    args = build_parser().parse_args(argv)
    try:
        args.handler(args)
    except (OSError, RuntimeError, ValueError) as error:
        print(f"{args.command}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
