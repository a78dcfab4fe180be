"""The checkMesh log reader against real OpenFOAM v1912 output (see data/README.md)."""

import unittest

from case_scripts import data_text
from orvanta_case.checkmesh_log import checkmesh_runs, last_checkmesh_metrics, split_runs


class PassingMeshInAPipelineLog(unittest.TestCase):
    """A whole mesh log: blockMesh, snappyHexMesh (which prints its own quality checks),
    reconstruction, export, then one checkMesh."""

    @classmethod
    def setUpClass(cls):
        cls.text = data_text("pipeline_mesh_ok.log")
        cls.metrics, cls.runs = last_checkmesh_metrics(cls.text)

    def test_only_checkmesh_is_read_among_the_tools_of_the_log(self):
        tools = [tool for tool, _ in split_runs(self.text)]
        self.assertEqual(tools.count("checkMesh"), 1)
        self.assertIn("snappyHexMesh", tools)
        self.assertEqual(self.runs, 1)

    def test_verdict_counts_and_quality_numbers(self):
        m = self.metrics
        self.assertIs(m["mesh_ok"], True)
        self.assertEqual(m["failed_checks"], 0)
        self.assertEqual(m["failed_check_messages"], [])
        for key in ("n_cells", "n_points", "n_faces", "n_internal_faces"):
            self.assertIsInstance(m[key], int, key)
            self.assertGreater(m[key], 0, key)
        self.assertEqual(m["n_boundary_patches"], 3)
        self.assertEqual(sum(m["cell_types"].values()), m["n_cells"])
        self.assertTrue(0 < m["avg_nonorthogonality"] < m["max_nonorthogonality"] < 90)
        self.assertEqual(m["severe_nonorthogonal_faces"], 0)
        self.assertEqual(m["highly_skew_faces"], 0)
        self.assertGreater(m["max_skewness"], 0)
        self.assertGreater(m["max_aspect_ratio"], 1)
        self.assertIsNone(m["fatal_error"])

    def test_patch_table_and_bounding_box(self):
        patches = self.metrics["patches"]
        self.assertEqual(sorted(patches), ["aircraft", "farfield", "sym"])
        self.assertEqual(sum(p["faces"] for p in patches.values()),
                         self.metrics["n_faces"] - self.metrics["n_internal_faces"])
        self.assertTrue(patches["aircraft"]["topology"].startswith("ok"))
        box = self.metrics["bounding_box"]
        self.assertEqual(box["min"][1], 0.0)  # half model: the symmetry plane is y = 0
        self.assertTrue(all(lo < hi for lo, hi in zip(box["min"], box["max"])))


class FailedChecks(unittest.TestCase):
    def test_skewness_failure_with_severe_non_orthogonality_warning(self):
        m, _ = last_checkmesh_metrics(data_text("failed_skewness.log"))
        self.assertIs(m["mesh_ok"], False)
        self.assertEqual(m["failed_checks"], 1)
        self.assertEqual(m["max_skewness"], 5)
        self.assertEqual(m["highly_skew_faces"], 32)
        self.assertEqual(m["severe_nonorthogonal_faces"], 40)
        self.assertAlmostEqual(m["max_nonorthogonality"], 89.6180341348)
        self.assertAlmostEqual(m["avg_nonorthogonality"], 68.1681244745)
        self.assertEqual(m["max_aspect_ratio"], 175)
        self.assertEqual(m["failed_check_messages"],
                         ["Max skewness = 5, 32 highly skew faces detected which may impair the quality "
                          "of the results"])
        self.assertEqual(m["warnings"], ["Number of severely non-orthogonal (> 70 degrees) faces: 40."])

    def test_aspect_ratio_is_read_from_its_failure_line_too(self):
        m, _ = last_checkmesh_metrics(data_text("failed_cell_shape.log"))
        self.assertEqual(m["failed_checks"], 2)
        self.assertAlmostEqual(m["max_aspect_ratio"], 100833.333333)
        self.assertEqual(m["high_aspect_ratio_cells"], 160)
        self.assertEqual(m["max_skewness"], 40)
        self.assertEqual(len(m["failed_check_messages"]), 2)


class SeveralRunsInOneLog(unittest.TestCase):
    """Analysis appends checkMesh to the mesh log each time it runs: the last run counts."""

    def test_a_later_passing_run_replaces_an_earlier_failure(self):
        text = data_text("failed_skewness.log") + data_text("pipeline_mesh_ok.log")
        m, runs = last_checkmesh_metrics(text)
        self.assertEqual(runs, 2)
        self.assertIs(m["mesh_ok"], True)
        self.assertEqual(m["patches"].keys(), {"aircraft", "farfield", "sym"})

    def test_a_later_failure_is_not_masked_by_an_earlier_pass(self):
        text = data_text("pipeline_mesh_ok.log") + data_text("failed_cell_shape.log")
        m, runs = last_checkmesh_metrics(text)
        self.assertEqual(runs, 2)
        self.assertIs(m["mesh_ok"], False)
        self.assertEqual(m["failed_checks"], 2)
        self.assertEqual(list(m["patches"]), ["walls"])

    def test_a_run_cut_short_has_no_verdict_and_misses_later_numbers(self):
        text = data_text("pipeline_mesh_ok.log")
        cut = text[:text.rindex("Mesh non-orthogonality")]
        m, _ = last_checkmesh_metrics(cut)
        self.assertIs(m["mesh_ok"], False)
        self.assertIsNone(m["failed_checks"])
        self.assertIsNone(m["max_nonorthogonality"])
        self.assertIsNone(m["severe_nonorthogonal_faces"])
        self.assertIsNotNone(m["n_cells"])

    def test_a_log_without_checkmesh_is_an_error(self):
        text = data_text("pipeline_mesh_ok.log")
        before_check = text[:text.rindex("Exec   : checkMesh")]
        self.assertEqual(checkmesh_runs(before_check), [])
        with self.assertRaisesRegex(ValueError, "no checkMesh run"):
            last_checkmesh_metrics(before_check)


if __name__ == "__main__":
    unittest.main()
