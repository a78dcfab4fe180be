"""Re-meshing a design the way its mesh case was meshed, at a finer surface level.

A flow case keeps its mesh case's system/ folder in mesh_recipe/system, as the mesh run
left it: snappyHexMeshDict_no_layer (castellate and snap) and snappyHexMeshDict (layers)
with the run's levels, the background block and the layer settings. Re-meshing a model
repeats the mesh run's steps on it (surface export and sizing by the geometry script,
blockMesh, surfaceFeatureExtract, both snappyHexMesh passes, reconstruction, createPatch,
renumberMesh) with every refinement level raised by the same offset. The background
block stays the mesh case's, so two models re-meshed from one recipe share it.
"""

import os
import re
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass

from orvanta_case import foam_files, mpi_jobs

RECIPE_DIR = "mesh_recipe"
NO_LAYER_DICT = "snappyHexMeshDict_no_layer"
LAYER_DICT = "snappyHexMeshDict"
# The layer pass's dictionary, kept aside: each pass copies its own onto LAYER_DICT, the name
# snappyHexMesh reads.
LAYER_PASS_DICT = "snappyHexMeshDict_layer_pass"
GEOMETRY_SCRIPT = "script_generate_geometry.py"

# The lines of the snappyHexMesh dictionaries that carry a refinement level, as the mesh run
# writes them; a commented-out curvature level (curvature refinement off) stays off.
_LEVEL_LINES = (
    re.compile(r"^(\s*surfaceLevel\s+)(\d+)(;)", re.MULTILINE),
    re.compile(r"^(\s*lineLevel\s+)(\d+)(;)", re.MULTILINE),
    re.compile(r"^(\s*curvLevel\s+)(\d+)(;)", re.MULTILINE),
    re.compile(r"^(\s*curvatureLevel\s+\(\s*\S+\s+\S+\s+)(\d+)(\s+-?\d+\s*\);)", re.MULTILINE),
)
_SURFACE_LEVEL = re.compile(r"^\s*surfaceLevel\s+(\d+);", re.MULTILINE)
# polyMesh/owner's header note: "nPoints:... nCells:... nFaces:... nInternalFaces:...".
_CELLS = re.compile(r"nCells:\s*(\d+)")


class MeshRecipeError(RuntimeError):
    pass


@dataclass
class Remeshed:
    mesh_dir: str       # constant/polyMesh of the new mesh
    surface_level: int
    cells: int
    seconds: float


def recipe_system(case_dir):
    """The recipe's system/ folder, or None when the case was staged without one."""
    path = os.path.join(case_dir, RECIPE_DIR, "system")
    return path if os.path.isfile(os.path.join(path, NO_LAYER_DICT)) else None


def surface_level(system_dir):
    with open(os.path.join(system_dir, NO_LAYER_DICT), encoding="utf-8") as f:
        match = _SURFACE_LEVEL.search(f.read())
    if match is None:
        raise MeshRecipeError(f"{system_dir}/{NO_LAYER_DICT} has no surfaceLevel line")
    return int(match.group(1))


def cell_count(mesh_dir):
    """Cells of a mesh, from its owner file's header; 0 when the header does not say."""
    with open(os.path.join(mesh_dir, "owner"), "rb") as f:
        match = _CELLS.search(f.read(4096).decode("ascii", errors="ignore"))
    return int(match.group(1)) if match else 0


def raise_levels(text, offset):
    """The dictionary text with every refinement level of the mesh run raised by `offset`."""
    for pattern in _LEVEL_LINES:
        text = pattern.sub(lambda m: f"{m.group(1)}{int(m.group(2)) + offset}{m.group(3)}", text)
    return text


def _stage(system_dir, mesh_case, offset):
    shutil.rmtree(mesh_case, ignore_errors=True)
    shutil.copytree(system_dir, os.path.join(mesh_case, "system"))
    os.makedirs(os.path.join(mesh_case, "constant", "triSurface"))
    for name in (NO_LAYER_DICT, LAYER_DICT):
        path = os.path.join(mesh_case, "system", name)
        with open(path, encoding="utf-8") as f:
            text = raise_levels(f.read(), offset)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
    shutil.copy(os.path.join(mesh_case, "system", LAYER_DICT), os.path.join(mesh_case, "system", LAYER_PASS_DICT))


class Remesher:
    def __init__(self, case_dir, n_ranks, oversubscribe, out):
        self.case_dir = case_dir
        self.n_ranks = n_ranks
        self.oversubscribe = oversubscribe
        self.out = out
        self.env = mpi_jobs.solver_environment()
        self.env["PYTHONPATH"] = os.pathsep.join(
            [os.path.abspath(case_dir)] + ([self.env["PYTHONPATH"]] if self.env.get("PYTHONPATH") else []))

    def _run(self, command, cwd, log):
        with open(log, "a", encoding="utf-8") as f:
            f.write(f"$ {' '.join(command)}\n")
            f.flush()
            status = subprocess.run(command, cwd=cwd, env=self.env, stdout=f, stderr=subprocess.STDOUT).returncode
        if status != 0:
            raise MeshRecipeError(f"`{' '.join(command)}` failed with exit status {status}; see {log}")

    def _snappy(self, mesh_case, dictionary, log):
        system = os.path.join(mesh_case, "system")
        shutil.copy(os.path.join(system, dictionary), os.path.join(system, LAYER_DICT))
        self._run(mpi_jobs.parallel_command(self.n_ranks, ["snappyHexMesh", "-overwrite"], self.oversubscribe),
                  mesh_case, log)

    def remesh(self, model_file, mesh_case, offset):
        """Meshes `model_file` in the folder `mesh_case` with the recipe's levels + offset."""
        system_dir = recipe_system(self.case_dir)
        if system_dir is None:
            raise MeshRecipeError(f"{self.case_dir} holds no {RECIPE_DIR}/system: its mesh case's dictionaries "
                                  f"were not staged, so its designs cannot be re-meshed")
        began = time.time()
        level = surface_level(system_dir) + offset
        _stage(system_dir, mesh_case, offset)
        log = os.path.join(mesh_case, "log.mesh")
        geometry = os.path.join(os.path.abspath(self.case_dir), GEOMETRY_SCRIPT)
        self._run([sys.executable, geometry, "--vsp3", os.path.abspath(model_file), "--stl", "aircraft.stl",
                   "--sizing", os.path.join("system", "aircraftSizing")], mesh_case, log)
        shutil.copy(os.path.join(mesh_case, "aircraft.stl"),
                    os.path.join(mesh_case, "constant", "triSurface", "aircraft.stl"))
        for command in (["blockMesh"], ["surfaceFeatureExtract"]):
            self._run(command, mesh_case, log)
        parallel = self.n_ranks > 1
        if parallel:
            foam_files.set_subdomains(mesh_case, self.n_ranks)
            self._run(["decomposePar", "-force"], mesh_case, log)
        self._snappy(mesh_case, NO_LAYER_DICT, log)
        self._snappy(mesh_case, LAYER_PASS_DICT, log)
        if parallel:
            self._run(["reconstructParMesh", "-constant"], mesh_case, log)
            for name in os.listdir(mesh_case):
                if re.fullmatch(r"processor\d+", name):
                    shutil.rmtree(os.path.join(mesh_case, name))
        for command in (["createPatch", "-overwrite"], ["renumberMesh", "-overwrite"]):
            self._run(command, mesh_case, log)
        mesh_dir = os.path.join(mesh_case, "constant", "polyMesh")
        if not os.path.isfile(os.path.join(mesh_dir, "points")):
            raise MeshRecipeError(f"the re-mesh wrote no mesh; see {log}")
        return Remeshed(mesh_dir, level, cell_count(mesh_dir), time.time() - began)
