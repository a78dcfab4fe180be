"""`script_workflow_helpers.py stage-warm-start`: which sources it accepts, where a relative
source is looked for, and what it stages for the same mesh. (Mapping onto another mesh
needs OpenFOAM's mapFields and is covered by the CFD pipeline test.)"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from test_workflow_helpers import stage_case, write
from orvanta_case import warm_start

MESH = {"points": "3\n((0 0 0) (1 0 0) (0 1 0))\n", "faces": "1\n(3(0 1 2))\n", "owner": "1(0)\n",
        "neighbour": "0()\n", "boundary": "1\n(aircraft { type wall; nFaces 1; startFace 0; })\n"}


def field(name, field_class, value="uniform 0"):
    return (f"FoamFile\n{{\n    version     2.0;\n    format      ascii;\n    class       {field_class};\n"
            f"    object      {name};\n}}\ndimensions      [0 1 -1 0 0 0 0];\ninternalField   {value};\n"
            "boundaryField\n{\n}\n")


def make_case(path, mesh=MESH, times=()):
    for name, text in mesh.items():
        write(os.path.join(path, "constant", "polyMesh", name), text)
    for time in times:
        write(os.path.join(path, time, "U"), field("U", "volVectorField", "uniform (" + time + " 0 0)"))
        write(os.path.join(path, time, "p"), field("p", "volScalarField"))
        write(os.path.join(path, time, "phi"), field("phi", "surfaceScalarField"))
        write(os.path.join(path, time, "uniform", "time"), "value " + time + ";\n")


class StageWarmStart(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="orvanta_warm_")
        self.addCleanup(shutil.rmtree, self.work)
        self.case = os.path.join(self.work, "cfd_b")
        make_case(self.case)
        stage_case(self.case)

    def stage(self, source):
        return subprocess.run([sys.executable, "script_workflow_helpers.py", "stage-warm-start", "--initialize-from",
                               source, "--case-dir", "."], cwd=self.case, capture_output=True, text=True)

    def assert_rejected(self, source, message):
        result = self.stage(source)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn("stage-warm-start: ", result.stderr)
        self.assertIn(message, result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.case, "warm_start", "source.json")))

    def test_same_mesh_copies_the_latest_volume_fields(self):
        make_case(os.path.join(self.work, "cfd_a"), times=("0", "35", "120"))
        result = self.stage("cfd_a")  # relative: beside this case, in the working directory
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("warm start copied from", result.stdout)
        staged = os.path.join(self.case, "warm_start")
        self.assertEqual(sorted(os.listdir(staged)), ["U", "p", "source.json"])
        with open(os.path.join(staged, "U"), encoding="utf-8") as f:
            self.assertIn("uniform (120 0 0)", f.read())
        with open(os.path.join(staged, "source.json"), encoding="utf-8") as f:
            record = json.load(f)
        self.assertEqual(record, {"source": os.path.join(self.work, "cfd_a"), "time": "120", "method": "copied",
                                  "fields": ["U", "p"]})
        self.assertEqual(warm_start.check_staged(self.case, "cfd_a")["time"], "120")
        self.assertEqual(warm_start.check_staged(self.case, os.path.join(self.work, "cfd_a"))["time"], "120")

    def test_a_stale_or_missing_staging_is_refused(self):
        make_case(os.path.join(self.work, "cfd_a"), times=("0", "35"))
        with self.assertRaisesRegex(warm_start.WarmStartError, "no warm start is staged"):
            warm_start.check_staged(self.case, "cfd_a")
        self.assertEqual(self.stage("cfd_a").returncode, 0)
        with self.assertRaisesRegex(warm_start.WarmStartError, "comes from .*cfd_a, not from .*cfd_c"):
            warm_start.check_staged(self.case, "cfd_c")

    def test_bad_sources(self):
        self.assert_rejected("no_such_case", "the warm-start source no_such_case (" +
                             os.path.join(self.work, "no_such_case") + ") is not a case directory")
        self.assert_rejected("cfd_b", "is this case itself")
        os.makedirs(os.path.join(self.work, "empty"))
        self.assert_rejected("empty", "has no mesh (constant/polyMesh)")
        make_case(os.path.join(self.work, "mesh_only"), times=("0",))
        self.assert_rejected("mesh_only", "holds no flow solution (no time directory after 0)")
        make_case(os.path.join(self.work, "no_velocity"), times=("0", "50"))
        os.remove(os.path.join(self.work, "no_velocity", "50", "U"))
        self.assert_rejected("no_velocity", "has no U field")

    def test_meshes_are_compared_file_by_file(self):
        a, b = os.path.join(self.work, "a"), os.path.join(self.work, "b")
        make_case(a)
        make_case(b)
        self.assertTrue(warm_start.same_mesh(os.path.join(a, "constant", "polyMesh"),
                                             os.path.join(b, "constant", "polyMesh")))
        write(os.path.join(b, "constant", "polyMesh", "points"), "3\n((0 0 0) (1 0 0) (0 1 1e-9))\n")
        self.assertFalse(warm_start.same_mesh(os.path.join(a, "constant", "polyMesh"),
                                              os.path.join(b, "constant", "polyMesh")))


if __name__ == "__main__":
    unittest.main()
