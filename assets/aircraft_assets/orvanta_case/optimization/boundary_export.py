"""VTK/boundary_baseline.vtp and VTK/boundary_optimized.vtp: the aircraft and symmetry
surfaces of the baseline solution (kept by the driver in opt_work/baseline) and of the
optimized one (reconstructed in the case itself), with the fields the figures and the
viewer show."""

import glob
import os
import shutil
import subprocess

from orvanta_case import foam_files, mpi_jobs

BASELINE_CASE = os.path.join("opt_work", "baseline")
FIELDS = "(U p T rho nut)"
PATCHES = "(aircraft sym)"


class ExportError(RuntimeError):
    pass


def export_surface(source_case, target, out):
    """foamToVTK of the latest solution of source_case, its single boundary file moved to target."""
    latest = foam_files.latest_time(source_case)
    if latest is None or float(latest) == 0.0:
        raise ExportError(f"{source_case} holds no solution (no time directory after 0)")
    vtk_dir = os.path.join(source_case, "VTK")
    before = set(glob.glob(os.path.join(vtk_dir, "*", "boundary.vtp")))
    command = ["foamToVTK", "-case", source_case, "-latestTime", "-patches", PATCHES, "-fields", FIELDS,
               "-one-boundary", "-no-internal"]
    result = subprocess.run(command, env=mpi_jobs.solver_environment(), capture_output=True, text=True)
    out.write(result.stdout + result.stderr)
    if result.returncode != 0:
        raise ExportError(f"foamToVTK failed on {source_case} with exit status {result.returncode}")
    written = [p for p in glob.glob(os.path.join(vtk_dir, f"*_{latest}", "boundary.vtp"))] or \
        sorted(set(glob.glob(os.path.join(vtk_dir, "*", "boundary.vtp"))) - before)
    if not written:
        raise ExportError(f"foamToVTK wrote no boundary.vtp for time {latest} of {source_case}")
    os.makedirs(os.path.dirname(target) or ".", exist_ok=True)
    shutil.copy(written[0], target)
    return latest


def export_boundaries(case_dir, out):
    """Both surfaces; returns {target: source time}."""
    done = {}
    for source, name in ((os.path.join(case_dir, BASELINE_CASE), "boundary_baseline.vtp"),
                         (case_dir, "boundary_optimized.vtp")):
        target = os.path.join(case_dir, "VTK", name)
        done[target] = export_surface(source, target, out)
    return done
