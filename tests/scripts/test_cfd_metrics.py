"""`script_workflow_helpers.py write-cfd-analysis` on real solver logs, through the host's own
log reader (the orvanta executable named by ORVANTA_BIN)."""

import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from case_scripts import ASSETS, DATA, data_text
from test_workflow_helpers import stage_case, write

COMMAND = ["script_workflow_helpers.py", "write-cfd-analysis", "--log-file", "log_simulation.txt",
           "--output-file", "cfd_analysis_metrics.json"]
REVIEW_KEYS = ["has_nan_inf", "cd_stddev", "residual_drop_orders", "n_primal_runs", "final_cd", "final_cl",
               "final_cm"]
HAVE_ORVANTA = bool(os.environ.get("ORVANTA_BIN") or shutil.which("orvanta"))


@unittest.skipUnless(HAVE_ORVANTA, "needs the orvanta executable (ORVANTA_BIN)")
class WriteCfdAnalysis(unittest.TestCase):
    def setUp(self):
        self.case = tempfile.mkdtemp(prefix="orvanta_cfd_case_")
        self.addCleanup(shutil.rmtree, self.case)
        stage_case(self.case)

    def analyse(self, log_text):
        write(os.path.join(self.case, "log_simulation.txt"), log_text)
        result = subprocess.run([sys.executable] + COMMAND, cwd=self.case, capture_output=True, text=True)
        metrics = None
        path = os.path.join(self.case, "cfd_analysis_metrics.json")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                metrics = json.load(f)
        return result, metrics

    def test_converged_run(self):
        # A simpleFoam run that the driver stopped after 108 iterations, followed by the
        # reconstruction and export steps the pipeline appends to the same log.
        result, m = self.analyse(data_text("cfd_simplefoam_converged.log"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(list(m)[:len(REVIEW_KEYS)], REVIEW_KEYS)
        self.assertIs(m["has_nan_inf"], False)
        self.assertEqual(m["n_primal_runs"], 1)
        self.assertEqual(m["n_iterations"], 108)
        self.assertEqual(m["cd_window"], 50)
        self.assertEqual(m["final_cd"], 0.04997942284)
        self.assertEqual(m["final_cl"], 0.3117953336)
        self.assertEqual(m["final_cm"], -0.04304532185)
        # Settled to within the tolerances the run had (1e-5, 1e-6).
        self.assertLess(m["cd_stddev"], 1e-5)
        self.assertLess(abs(m["cd_slope"]), 1e-6)
        self.assertEqual(set(m["residual_drop_orders"]), {"Ux", "Uy", "Uz", "p", "nuTilda"})
        # p: first initial residual 1 (a cold start), last about 8.8e-6.
        self.assertAlmostEqual(m["residual_drop_orders"]["p"], 5.05, delta=0.01)
        self.assertIn("CFD: CD 0.04997942284", result.stdout)

    def test_a_nan_drag_is_reported_and_leaves_no_spread(self):
        text = data_text("cfd_simplefoam_converged.log")
        last = text.rindex("        Cd       : ")
        end = text.index("\t", last)
        result, m = self.analyse(text[:last] + "        Cd       : nan" + text[end:])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIs(m["has_nan_inf"], True)
        self.assertIsNone(m["cd_stddev"])
        self.assertIsNone(m["final_cd"])

    def test_a_log_that_ended_before_the_first_iteration(self):
        text = data_text("cfd_simplefoam_converged.log")
        result, m = self.analyse(text[:text.index("Starting time loop")])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual((m["n_primal_runs"], m["n_iterations"]), (0, 0))
        self.assertIsNone(m["cd_stddev"])
        self.assertEqual(m["residual_drop_orders"], {})
        self.assertEqual((m["final_cd"], m["final_cl"], m["final_cm"]), (None, None, None))

    def test_reports_the_driver_summary_when_there_is_one(self):
        write(os.path.join(self.case, "flow_solution.json"),
              json.dumps({"angle_of_attack": 3.25, "converged": True, "lift_met": True,
                          "solver_name": "DASimpleFoam", "turbulence_model": "SpalartAllmaras"}))
        result, m = self.analyse(data_text("cfd_simplefoam_converged.log"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual((m["final_angle_of_attack"], m["converged"], m["lift_met"]), (3.25, True, True))

    def test_a_missing_log_fails_without_metrics(self):
        result = subprocess.run([sys.executable] + COMMAND, cwd=self.case, capture_output=True, text=True)
        self.assertEqual(result.returncode, 1)
        self.assertIn("write-cfd-analysis:", result.stderr)
        self.assertIn("Simulation log was not found", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.case, "cfd_analysis_metrics.json")))


class ResidualDrops(unittest.TestCase):
    def test_orders_of_magnitude_and_unusable_histories(self):
        from orvanta_case.cfd_metrics import residual_drop_orders

        drops = residual_drop_orders({"p": [1.0, 0.1, 1e-4], "e": [0.5], "k": [1e-3, None], "U": [0.0, 1e-6]})
        self.assertTrue(math.isclose(drops["p"], 4.0))
        self.assertEqual((drops["e"], drops["k"], drops["U"]), (None, None, None))


if __name__ == "__main__":
    unittest.main()
