"""Reading the ASCII mesh the way shape changes need it (patch point order, points, the
point-displacement field moveMesh reads) and the adjoint case's surface normals and
dictionaries, on a hand-written two-cell mesh."""

import os
import re
import shutil
import tempfile
import unittest

import numpy as np

import case_scripts  # noqa: F401
from orvanta_case.optimization import adjoint_case, adjoint_gradient, foam_mesh

HEADER = "FoamFile\n{{\n    version 2.0;\n    format {fmt};\n    class {cls};\n    object {obj};\n}}\n\n"

# Two unit cubes side by side along x: points 0-5 at z = 0, 6-11 at z = 1.
POINTS = [(0, 0, 0), (1, 0, 0), (2, 0, 0), (0, 1, 0), (1, 1, 0), (2, 1, 0),
          (0, 0, 1), (1, 0, 1), (2, 0, 1), (0, 1, 1), (1, 1, 1), (2, 1, 1)]
FACES = [
    (1, 4, 10, 7),                                           # internal
    (1, 0, 3, 4), (2, 1, 4, 5),                              # bottom (z = 0), normals -z
    (6, 7, 10, 9), (7, 8, 11, 10),                           # top
    (0, 6, 9, 3), (2, 5, 11, 8),                             # ends
    (0, 1, 7, 6), (1, 2, 8, 7), (3, 9, 10, 4), (4, 10, 11, 5),  # sides y = 0 and y = 1
]
BOUNDARY = [("bottom", "wall", 1, 2), ("top", "patch", 3, 2), ("ends", "patch", 5, 2), ("sides", "symmetry", 7, 4)]


def write_mesh(directory, fmt="ascii"):
    os.makedirs(directory)
    with open(os.path.join(directory, "points"), "w") as f:
        f.write(HEADER.format(fmt=fmt, cls="vectorField", obj="points"))
        f.write(f"{len(POINTS)}\n(\n" + "\n".join(f"({x} {y} {z})" for x, y, z in POINTS) + "\n)\n")
    with open(os.path.join(directory, "faces"), "w") as f:
        f.write(HEADER.format(fmt=fmt, cls="faceList", obj="faces"))
        f.write(f"{len(FACES)}\n(\n" + "\n".join(f"4({' '.join(map(str, face))})" for face in FACES) + "\n)\n")
    with open(os.path.join(directory, "boundary"), "w") as f:
        f.write(HEADER.format(fmt=fmt, cls="polyBoundaryMesh", obj="boundary"))
        f.write(f"{len(BOUNDARY)}\n(\n")
        for name, kind, start, n in BOUNDARY:
            f.write(f"    {name}\n    {{\n        type {kind};\n        inGroups 1({kind});\n"
                    f"        nFaces {n};\n        startFace {start};\n    }}\n")
        f.write(")\n")


class Mesh(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="orvanta_opt_mesh_")
        self.addCleanup(shutil.rmtree, self.dir)
        self.mesh = os.path.join(self.dir, "polyMesh")
        write_mesh(self.mesh)

    def test_patch_points_come_in_order_of_first_appearance_over_the_patch_faces(self):
        self.assertEqual(list(foam_mesh.patch_point_ids(self.mesh, "bottom")), [1, 0, 3, 4, 2, 5])
        self.assertEqual(list(foam_mesh.patch_point_ids(self.mesh, "sides")), [0, 1, 7, 6, 2, 8, 3, 9, 10, 4, 11, 5])
        np.testing.assert_array_equal(foam_mesh.read_points(os.path.join(self.mesh, "points")), POINTS)
        with self.assertRaisesRegex(ValueError, "no patch `wing`"):
            foam_mesh.patch_point_ids(self.mesh, "wing")

    def test_binary_meshes_are_refused_with_the_reason(self):
        other = os.path.join(self.dir, "binary")
        write_mesh(other, fmt="binary")
        with self.assertRaisesRegex(ValueError, "binary"):
            foam_mesh.read_points(os.path.join(other, "points"))

    def test_the_displacement_field_moves_one_patch_and_keeps_constraint_patches_sliding(self):
        path = os.path.join(self.dir, "0", "pointDisplacement")
        d = np.arange(18, dtype=float).reshape(6, 3) * 1e-3
        foam_mesh.write_point_displacement(path, foam_mesh.read_boundary(os.path.join(self.mesh, "boundary")),
                                           "bottom", d)
        with open(path) as f:
            text = f.read()
        block = lambda name: re.search(name + r"\s*\{(.*?)\n    \}", text, re.S).group(1)
        self.assertIn("type fixedValue", block("bottom"))
        values = re.search(r"List<vector>\s*(\d+)\s*\((.*?)\)\s*;", block("bottom"), re.S)
        self.assertEqual(int(values.group(1)), 6)
        numbers = np.array(values.group(2).replace("(", " ").replace(")", " ").split(), dtype=float)
        np.testing.assert_array_equal(numbers.reshape(6, 3), d)
        self.assertIn("uniform (0 0 0)", block("top"))
        self.assertEqual(block("sides").split(), ["type", "symmetry;"])

    def test_sensitivity_vectors_come_from_the_latest_time_in_patch_point_order(self):
        for time, scale in (("1", 1.0), ("12", 10.0), ("3.5", 100.0)):
            os.makedirs(os.path.join(self.dir, time))
            for solver, sign in (("adjDrag", 1.0), ("adjLift", -1.0)):
                name = f"pointSensVec{solver}ESI"
                with open(os.path.join(self.dir, time, name), "w") as f:
                    f.write(HEADER.format(fmt="ascii", cls="pointVectorField", obj=name))
                    f.write(f"{len(POINTS)}\n(\n" + "\n".join(f"({sign * scale * k} 0 {k})" for k in range(len(POINTS)))
                            + "\n)\n")
        ids = foam_mesh.patch_point_ids(self.mesh, "bottom")
        drag = adjoint_gradient.point_sensitivities(self.dir, ids, "drag")
        lift = adjoint_gradient.point_sensitivities(self.dir, ids, "lift")
        np.testing.assert_array_equal(drag, [[10.0 * k, 0.0, k] for k in ids])
        np.testing.assert_array_equal(lift[:, 0], -drag[:, 0])
        # The whole displacement counts, tangential parts included.
        shift = np.tile([1.0, 0.0, 2.0], (len(ids), 1))
        self.assertEqual(adjoint_gradient.gradient(drag, shift), float(sum(10.0 * k + 2.0 * k for k in ids)))
        truncated = os.path.join(self.dir, "short")
        with open(truncated, "w") as f:
            f.write(HEADER.format(fmt="ascii", cls="scalarField", obj="short") + "3\n(\n1\n2\n)\n")
        with self.assertRaisesRegex(ValueError, "expected 3 values"):
            foam_mesh.read_scalars(truncated)

    def test_a_nose_up_pitch_raises_the_nose_and_lowers_the_tail(self):
        points = np.array([[0.0, 1.0, 0.0], [2.0, 0.0, 0.0], [1.0, 3.0, 0.5]])
        d = adjoint_gradient.rigid_pitch(points, (1.0, 0.0, 0.0))
        np.testing.assert_allclose(d, [[0.0, 0.0, 1.0], [0.0, 0.0, -1.0], [0.5, 0.0, 0.0]])


class AdjointCase(unittest.TestCase):
    def test_the_wall_treatment_follows_the_mesh_and_the_objective_is_the_drag_coefficient(self):
        low = adjoint_case.fields(100.0, 3.0, 1.5e-4, "low_re")
        wall = adjoint_case.fields(100.0, 3.0, 1.5e-4, "wall_function")
        self.assertIn("adjointWallVelocityLowRe", low["Ua"])
        self.assertIn("nutLowReWallFunction", low["nut"])
        self.assertIn("adjointWallVelocity;", wall["Ua"])
        self.assertIn("nutUSpaldingWallFunction", wall["nut"])
        self.assertIn("adjointFarFieldVelocity", wall["Ua"])
        self.assertIn("(99.86295348 0 5.233595624)", wall["U"])
        text = adjoint_case.optimisation_dict(100.0, 3.0, 8.4, 800, 1000)
        # Drag and lift of the half model on half the reference area, at unit density: CD
        # and CL themselves, each with its own adjoint solution.
        self.assertIn("direction (0.9986295348 0 0.05233595624);", text)
        self.assertIn("direction (-0.05233595624 0 0.9986295348);", text)
        self.assertEqual(text.count("Aref 8.4;"), 2)
        self.assertIn("rhoInf 1;", text)
        self.assertNotIn("averaging", text)  # a converged primal, not a mean
        self.assertIn("type surfacePoints;", text)
        for term in ("includeDistance", "includeMeshMovement", "includeObjectiveContribution"):
            self.assertIn(f"{term} true;", text)
        self.assertIn("zeroATCPatchTypes ();", text)
        self.assertIn("div(-phi,Ua) bounded Gauss linearUpwind", adjoint_case.SCHEMES)


if __name__ == "__main__":
    unittest.main()
