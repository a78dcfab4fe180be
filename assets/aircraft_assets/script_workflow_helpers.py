"""Workflow steps of an orvanta aircraft case that the skills run as subcommands.

Each subcommand is one function below; shared code lives in the orvanta_case package
shipped next to this script. Paths are relative to the case directory (the working
directory the host runs commands in).
"""

import argparse
import json
import os
import sys

from orvanta_case import case_files, cfd_metrics, flow_field_views, mesh_analysis, warm_start, y_plus
from orvanta_case.optimization import analysis_metrics, boundary_export


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
    """Condenses the flow solver's log (read by the host's own reader) and the final y+ on the
    aircraft into the CFD metrics, and draws the y+ figure."""
    wall = y_plus.read_final(args.case_dir)
    metrics = cfd_metrics.cfd_metrics(args.case_dir, args.log_file, wall)
    case_files.write_json(os.path.join(args.case_dir, args.output_file), metrics)
    print(cfd_metrics.summary_line(metrics))
    # The analysis has no command of its own for this figure: it is drawn here, after the
    # metrics are safe, from the values they were computed from.
    if metrics["y_plus"] is None:
        print(f"no y+ figure: the latest time holds no finite {y_plus.FIELD} field")
        return
    surface, values = wall
    reynolds = None
    summary = os.path.join(args.case_dir, "flow_solution.json")
    if os.path.isfile(summary):
        with open(summary, encoding="utf-8") as f:
            reynolds = json.load(f).get("reynolds_number")
    print(f"wrote {flow_field_views.plot_y_plus(args.case_dir, surface, values, surface.areas(), reynolds)}")


def export_optimization_boundary_vtks(args):
    """Writes VTK/boundary_baseline.vtp and VTK/boundary_optimized.vtp from the optimization's
    baseline solution and the reconstructed optimized one."""
    for target, time_name in boundary_export.export_boundaries(args.case_dir, sys.stdout).items():
        print(f"wrote {target} (time {time_name})")


def write_optimization_analysis(args):
    """Condenses the optimization history, the optimizer's log and the run log into the
    optimization metrics."""
    metrics = analysis_metrics.optimization_metrics(args.case_dir, args.log_file, args.hist_file,
                                                    args.scaling_report_file, args.vsp_design_vars)
    case_files.write_json(os.path.join(args.case_dir, args.output_file), metrics)
    print(analysis_metrics.summary_line(metrics))

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

    vtks = commands.add_parser("export-optimization-boundary-vtks",
                               help=export_optimization_boundary_vtks.__doc__.splitlines()[0])
    vtks.add_argument("--case-dir", default=".")
    vtks.set_defaults(handler=export_optimization_boundary_vtks)

    opt = commands.add_parser("write-optimization-analysis", help=write_optimization_analysis.__doc__.splitlines()[0])
    opt.add_argument("--log-file", default="opt_SLSQP.txt", help="the optimizer's own log")
    opt.add_argument("--hist-file", default="OptView.hst")
    opt.add_argument("--scaling-report-file", default="reports/script_run_dafoam/driver_scaling_report.html")
    opt.add_argument("--vsp-design-vars", default="vsp_design_vars.json")
    opt.add_argument("--output-file", default="optimization_analysis_metrics.json")
    opt.add_argument("--case-dir", default=".")
    opt.set_defaults(handler=write_optimization_analysis)
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
