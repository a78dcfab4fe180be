"""First-cell y+ on the aircraft in the final flow solution.

The solvers' yPlus function object writes a yPlus field with the solution, and
reconstructPar brings it into the case's latest time. Its aircraft values, in the patch's
face order, belong to the aircraft faces of the run's boundary export (VTK/boundary.vtp),
which give the face areas for the mean and the surface for the figure.
"""

import math
import os

import numpy as np

from orvanta_case import foam_files
from orvanta_case.surfaces import read_vtp

FIELD = "yPlus"
PATCH = "aircraft"
VTK_FILE = "VTK/boundary.vtp"
# The patches the run's foamToVTK puts into VTK_FILE: one after another in the mesh's
# patch order, whatever order the command names them in.
EXPORTED_PATCHES = ("aircraft", "sym")


def exported_range(patches, patch=PATCH, exported=EXPORTED_PATCHES):
    """(first face, number of faces) of `patch` in the boundary export, from the mesh's
    (name, faces) patch list."""
    first = 0
    for name, faces in patches:
        if name == patch:
            return first, faces
        if name in exported:
            first += faces
    raise ValueError(f"the mesh has no patch {patch}")


def read_final(case_dir, vtk_file=VTK_FILE):
    """(aircraft surface, y+ of its faces) of the case's latest time, or None when that time
    holds no yPlus field: no solution yet, or one solved before the solvers wrote y+."""
    time_name = foam_files.latest_time(case_dir)
    field_path = os.path.join(case_dir, time_name or "0", FIELD)
    if time_name is None or not os.path.isfile(field_path):
        return None
    boundary = os.path.join(case_dir, "constant", "polyMesh", "boundary")
    patches = foam_files.boundary_patches(foam_files.read(boundary))
    first, count = exported_range(patches)
    values = foam_files.patch_scalar_values(foam_files.read(field_path), PATCH, count)
    surface_path = os.path.join(case_dir, vtk_file)
    if not os.path.isfile(surface_path):
        raise FileNotFoundError(f"{vtk_file} does not exist: the y+ of {time_name}/{FIELD} needs its faces")
    surface = read_vtp(surface_path)
    exported = sum(faces for name, faces in patches if name in EXPORTED_PATCHES)
    if len(surface) != exported:
        raise ValueError(f"{vtk_file} holds {len(surface)} faces, but the mesh's patches "
                         f"{' and '.join(EXPORTED_PATCHES)} have {exported}: it is not this mesh's export")
    return surface.subset(np.arange(first, first + count)), values


def statistics(values, areas):
    """{"min", "mean", "max"} of y+ over the faces, the mean weighted by face area; None
    when a value is not finite (a diverged solution) or there are no faces."""
    values = np.asarray(values, dtype=float)
    areas = np.asarray(areas, dtype=float)
    total = float(areas.sum()) if len(areas) else 0.0
    if not len(values) or not np.isfinite(values).all() or not math.isfinite(total) or total <= 0:
        return None
    return {"min": float(values.min()), "mean": float(values @ areas) / total, "max": float(values.max())}


def fraction_between(values, areas, lower, upper):
    """The fraction of the surface area whose y+ lies in [lower, upper]."""
    inside = (values >= lower) & (values <= upper)
    return float(areas[inside].sum() / areas.sum())
