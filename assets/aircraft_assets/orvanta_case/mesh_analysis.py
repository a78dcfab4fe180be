"""The two result files of a mesh case: the checkMesh metrics (with the prism-layer coverage
snappyHexMesh reported) and the list of mesh outputs."""

import os

from orvanta_case import case_files
from orvanta_case.checkmesh_log import last_checkmesh_metrics
from orvanta_case.layer_report import layer_metrics

# What the mesh run leaves behind, in the order a person would look for it. The first four
# are what the mesh review requires.
MESH_OUTPUTS = [
    "aircraft.stl",
    "aircraft.vsp3",
    "constant/polyMesh",
    "VTK/boundary.vtp",
    "constant/triSurface/aircraft.stl",
    "constant/triSurface/aircraft.eMesh",
    "0",
    "log_geometry.txt",
    "log_mesh.txt",
]

MESH_PLOTS = [
    "plots/aircraft_view_x.png",
    "plots/aircraft_view_y.png",
    "plots/aircraft_view_z.png",
    "plots/aircraft_view_iso.png",
    "plots/aircraft_mesh_view_x.png",
    "plots/aircraft_mesh_view_y.png",
    "plots/aircraft_mesh_view_z.png",
    "plots/aircraft_mesh_view_3d.png",
]


def mesh_metrics(case_dir, log_file):
    """The last checkMesh run of the case's log and the layers of its last snappyHexMesh run
    as metrics, with where they came from."""
    text = case_files.read_text(os.path.join(case_dir, log_file))
    metrics, runs = last_checkmesh_metrics(text)
    metrics.update(layer_metrics(text))
    metrics["log_file"] = log_file
    metrics["checkmesh_runs_in_log"] = runs
    return metrics


def mesh_outputs(case_dir, metrics_file, log_file):
    return {
        "outputs": case_files.existing(case_dir, MESH_OUTPUTS),
        "missing_outputs": [p for p in MESH_OUTPUTS if not os.path.exists(os.path.join(case_dir, p))],
        "plots": case_files.existing(case_dir, MESH_PLOTS),
        "metrics_file": metrics_file,
        "log_file": log_file,
    }


def drop_unusable_mesh(analysis, metrics):
    """A mesh without faces on the aircraft patch is the background mesh alone (snappyHexMesh
    failed): it is not a mesh output the flow skills can use, so it is not listed as one."""
    patches = metrics.get("patches") or {}
    if not patches or patches.get("aircraft", {}).get("faces", 0) > 0:
        return analysis
    if "constant/polyMesh" in analysis["outputs"]:
        analysis["outputs"].remove("constant/polyMesh")
        analysis["missing_outputs"].insert(0, "constant/polyMesh")
    analysis["problems"] = ["constant/polyMesh has no faces on the aircraft patch: the aircraft was not meshed "
                            "(see log_mesh.txt)."]
    return analysis


def summary_line(metrics):
    """One line for the analysis log: verdict and the graded numbers."""
    verdict = "Mesh OK" if metrics["mesh_ok"] else f"failed checks: {metrics['failed_checks']}"
    return (f"checkMesh ({verdict}): {metrics['n_cells']} cells, max non-orthogonality "
            f"{metrics['max_nonorthogonality']}, max skewness {metrics['max_skewness']}, "
            f"max aspect ratio {metrics['max_aspect_ratio']}{_layer_text(metrics)}")


def _layer_text(metrics):
    if metrics.get("layers_mean") is None:
        return ""
    coverage = metrics.get("layer_coverage_pct")
    share = "" if coverage is None else f" on {coverage:.1f} % of the aircraft faces,"
    return f"; prism layers{share} {metrics['layers_mean']:g} on average"
