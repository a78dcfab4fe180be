"""From design-variable values to a deformed volume mesh, without re-meshing.

The baseline mesh's aircraft points are located once on the baseline model (component,
copy, u, w). A design is written into a copy of the baseline model by the geometry engine,
which also gives each located point its displacement (the same surface parameters on the
changed model); OpenFOAM's moveMesh then carries the whole volume mesh along in one step,
the far field fixed and the symmetry plane sliding.
"""

import os
import re
import shutil
import subprocess
import time
from dataclasses import dataclass

import numpy as np

from orvanta_case import mpi_jobs
from orvanta_case.optimization import foam_mesh, geometry

PATCH = "aircraft"
# Points this close to y = 0 (relative to the aircraft's size) lie in the symmetry plane
# and must stay in it.
SYMMETRY_TOLERANCE = 1e-9


class ShapeError(RuntimeError):
    pass


@dataclass
class MovedMesh:
    points: str    # the moved mesh's points file
    model: str     # the design's model file
    largest: float  # largest surface displacement, m
    seconds: float


class Morpher:
    def __init__(self, work_dir, config_file, baseline_model, baseline_mesh_dir, move_template, out):
        self.work_dir = work_dir
        self.config_file = config_file
        self.baseline_model = baseline_model
        self.baseline_mesh_dir = baseline_mesh_dir
        self.move_template = move_template
        self.out = out
        self.locations_file = os.path.join(work_dir, "aircraft_locations.txt")
        self.in_plane = None
        self.patches = None

    def say(self, message):
        self.out.write(f"orvanta-opt: {message}\n")
        self.out.flush()

    def prepare(self):
        """Locates the baseline mesh's aircraft points on the baseline model."""
        began = time.time()
        mesh = self.baseline_mesh_dir
        self.patches = foam_mesh.read_boundary(os.path.join(mesh, "boundary"))
        ids = foam_mesh.patch_point_ids(mesh, PATCH)
        points = foam_mesh.read_points(os.path.join(mesh, "points"))[ids]
        points_file = os.path.join(self.work_dir, "aircraft_points.txt")
        np.savetxt(points_file, points, fmt="%.17g")
        summary = geometry.locate_points(self.baseline_model, points_file, self.locations_file)
        size = float(np.max(np.ptp(points, axis=0)))
        self.in_plane = np.abs(points[:, 1]) <= SYMMETRY_TOLERANCE * size
        counts = ", ".join(f"{n} on {c}" for c, n in summary["points"].items())
        self.say(f"located the {len(points)} points of the {PATCH} patch on the baseline model ({counts}); "
                 f"farthest from its surface {summary['max_distance']:.3g} m ({time.time() - began:.1f} s)")

    def write_model(self, values, model_file):
        geometry.apply_design_variables(self.config_file, self.baseline_model, values, model_file)

    def _move_dir(self, slot):
        path = os.path.join(self.work_dir, f"move_{slot}")
        if not os.path.isdir(path):
            shutil.copytree(self.move_template, path)
            os.symlink(os.path.abspath(self.baseline_mesh_dir), os.path.join(path, "constant", "polyMesh"))
        return path

    def move(self, values, slot, check=False):
        """Moves the baseline mesh to the design `values` ({key: list}); a MovedMesh."""
        began = time.time()
        move_dir = self._move_dir(slot)
        model = os.path.join(move_dir, "design.vsp3")
        self.write_model(values, model)
        displacements_file = os.path.join(move_dir, "aircraft_displacements.txt")
        summary = geometry.displace_points(self.baseline_model, model, self.locations_file, displacements_file)
        displacement = np.loadtxt(displacements_file, ndmin=2)
        displacement[self.in_plane, 1] = 0.0
        for name in ("0", "1"):
            shutil.rmtree(os.path.join(move_dir, name), ignore_errors=True)
        foam_mesh.write_point_displacement(os.path.join(move_dir, "0", "pointDisplacement"), self.patches,
                                           PATCH, displacement)
        self._run(["moveMesh"], move_dir, "moveMesh")
        points = os.path.join(move_dir, "1", "polyMesh", "points")
        if not os.path.isfile(points):
            raise ShapeError(f"moveMesh wrote no moved points ({points}); see {move_dir}/log.moveMesh")
        if check:
            self.check(move_dir)
        largest = max(summary["max_displacement"].values(), default=0.0)
        return MovedMesh(points, model, largest, time.time() - began)

    def check(self, move_dir):
        """checkMesh on the moved mesh; a ShapeError for cells turned inside out."""
        text = self._run(["checkMesh", "-time", "1"], move_dir, "checkMesh")
        if re.search(r"negative (cell )?volume|incorrectly oriented", text, re.IGNORECASE):
            raise ShapeError(f"the moved mesh has inverted cells; see {move_dir}/log.checkMesh")
        ok = "Mesh OK" in text
        failed = re.search(r"Failed (\d+) mesh checks", text)
        non_orth = re.search(r"Mesh non-orthogonality Max: ([0-9.eE+-]+)", text)
        self.say(f"moved mesh: {'Mesh OK' if ok else (failed.group(0) if failed else 'checkMesh inconclusive')}"
                 + (f", max non-orthogonality {float(non_orth.group(1)):.3g}" if non_orth else ""))

    def _run(self, command, cwd, name):
        result = subprocess.run(command, cwd=cwd, env=mpi_jobs.solver_environment(), capture_output=True,
                                text=True)
        text = result.stdout + result.stderr
        with open(os.path.join(cwd, f"log.{name}"), "w", encoding="utf-8") as f:
            f.write(text)
        if result.returncode != 0:
            raise ShapeError(f"{' '.join(command)} failed with exit status {result.returncode}; "
                             f"see {cwd}/log.{name}")
        return text
