"""`script_workflow_helpers.py write-mesh-analysis` run as the host runs it: copied into a
case directory with its package and started there."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from case_scripts import ASSETS, DATA


def stage_case(case_dir):
    shutil.copy(os.path.join(ASSETS, "script_workflow_helpers.py"), case_dir)
    shutil.copytree(os.path.join(ASSETS, "orvanta_case"), os.path.join(case_dir, "orvanta_case"),
                    ignore=shutil.ignore_patterns("__pycache__"))


def write(path, text=""):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


COMMAND = ["script_workflow_helpers.py", "write-mesh-analysis", "--log-file", "log_mesh.txt",
           "--metrics-file", "mesh_analysis_metrics.json", "--analysis-file", "mesh_analysis.json"]


class WriteMeshAnalysis(unittest.TestCase):
    def setUp(self):
        self.case = tempfile.mkdtemp(prefix="orvanta_mesh_case_")
        self.addCleanup(shutil.rmtree, self.case)
        stage_case(self.case)

    def run_command(self):
        return subprocess.run([sys.executable] + COMMAND, cwd=self.case, capture_output=True, text=True)

    def read_json(self, name):
        with open(os.path.join(self.case, name), encoding="utf-8") as f:
            return json.load(f)

    def test_writes_metrics_of_the_last_check_and_the_outputs_that_exist(self):
        with open(os.path.join(DATA, "failed_skewness.log"), encoding="utf-8") as f:
            earlier = f.read()
        with open(os.path.join(DATA, "pipeline_mesh_ok.log"), encoding="utf-8") as f:
            write(os.path.join(self.case, "log_mesh.txt"), earlier + f.read())
        for path in ("aircraft.stl", "aircraft.vsp3", "VTK/boundary.vtp", "plots/aircraft_view_x.png"):
            write(os.path.join(self.case, path))
        os.makedirs(os.path.join(self.case, "constant", "polyMesh"))

        result = self.run_command()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("checkMesh (Mesh OK)", result.stdout)

        metrics = self.read_json("mesh_analysis_metrics.json")
        self.assertIs(metrics["mesh_ok"], True)
        self.assertEqual(metrics["checkmesh_runs_in_log"], 2)
        self.assertEqual(metrics["log_file"], "log_mesh.txt")
        for key in ("n_cells", "max_nonorthogonality", "avg_nonorthogonality", "severe_nonorthogonal_faces",
                    "max_skewness", "max_aspect_ratio"):
            self.assertIsInstance(metrics[key], (int, float), key)
        # The layers of the log's own layer pass, beside the checkMesh numbers.
        self.assertAlmostEqual(metrics["layer_coverage_pct"], 100.0 * 2564 / 2662)
        self.assertEqual(metrics["layers_mean"], 1.8)
        self.assertIn("prism layers on 96.3 % of the aircraft faces, 1.8 on average", result.stdout)

        analysis = self.read_json("mesh_analysis.json")
        self.assertEqual(analysis["outputs"], ["aircraft.stl", "aircraft.vsp3", "constant/polyMesh",
                                               "VTK/boundary.vtp", "log_mesh.txt"])
        self.assertIn("constant/triSurface/aircraft.eMesh", analysis["missing_outputs"])
        self.assertEqual(analysis["plots"], ["plots/aircraft_view_x.png"])

    def test_a_mesh_without_the_aircraft_patch_is_not_a_mesh_output(self):
        # snappyHexMesh failed: checkMesh sees the background box with its two patches only.
        with open(os.path.join(DATA, "pipeline_mesh_ok.log"), encoding="utf-8") as f:
            text = f.read()
        lines = [line for line in text.splitlines(keepends=True) if not line.lstrip().startswith("aircraft ")]
        write(os.path.join(self.case, "log_mesh.txt"), "".join(lines))
        for path in ("aircraft.stl", "aircraft.vsp3", "VTK/boundary.vtp"):
            write(os.path.join(self.case, path))
        os.makedirs(os.path.join(self.case, "constant", "polyMesh"))

        result = self.run_command()
        self.assertEqual(result.returncode, 0, result.stderr)
        analysis = self.read_json("mesh_analysis.json")
        self.assertNotIn("constant/polyMesh", analysis["outputs"])
        self.assertEqual(analysis["missing_outputs"][0], "constant/polyMesh")
        self.assertIn("no faces on the aircraft patch", analysis["problems"][0])

    def test_a_log_without_checkmesh_fails_but_still_lists_the_outputs(self):
        with open(os.path.join(DATA, "pipeline_mesh_ok.log"), encoding="utf-8") as f:
            text = f.read()
        write(os.path.join(self.case, "log_mesh.txt"), text[:text.rindex("Exec   : checkMesh")])
        write(os.path.join(self.case, "aircraft.stl"))

        result = self.run_command()
        self.assertEqual(result.returncode, 1)
        self.assertIn("write-mesh-analysis: the log holds no checkMesh run", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.case, "mesh_analysis_metrics.json")))
        self.assertEqual(self.read_json("mesh_analysis.json")["outputs"], ["aircraft.stl", "log_mesh.txt"])

    def test_a_missing_log_fails_with_its_name(self):
        result = self.run_command()
        self.assertEqual(result.returncode, 1)
        self.assertIn("log_mesh.txt", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.case, "mesh_analysis_metrics.json")))


if __name__ == "__main__":
    unittest.main()
