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
        # The last iteration prints `Cd : 0.04997942284 (pressure: 0.03704999897 viscous:
        # 0.01292942387)`: the parts come from it and add up to the total.
        self.assertEqual(m["cd_pressure"], 0.03704999897)
        self.assertLessEqual(abs(m["cd_pressure"] + m["cd_viscous"] - m["final_cd"]), 1e-15)
        self.assertAlmostEqual(m["cd_viscous"], 0.01292942387, delta=1e-11)
        self.assertIn("CD pressure 0.03705, viscous 0.0129294", result.stdout)
        # No solution fields in the case, so no y+ and no y+ figure.
        self.assertIsNone(m["y_plus"])
        self.assertFalse(os.path.exists(os.path.join(self.case, "plots", "aircraft_surface_y_plus.png")))

    def test_a_nan_drag_is_reported_and_leaves_no_spread(self):
        text = data_text("cfd_simplefoam_converged.log")
        last = text.rindex("        Cd       : ")
        end = text.index("\t", last)
        result, m = self.analyse(text[:last] + "        Cd       : nan" + text[end:])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIs(m["has_nan_inf"], True)
        self.assertIsNone(m["cd_stddev"])
        self.assertIsNone(m["final_cd"])
        self.assertEqual((m["cd_pressure"], m["cd_viscous"]), (None, None))

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

    def test_y_plus_of_the_final_fields_and_its_figure(self):
        from test_y_plus import box_case, scalar_list

        box_case(self.case, scalar_list([10.0, 20.0, 30.0, 40.0, 50.0, 150.0]))
        result, m = self.analyse(data_text("cfd_simplefoam_converged.log"))
        self.assertEqual(result.returncode, 0, result.stderr)
        # Four faces of area 1 and two of 0.5: weighted by area the mean is 40, not the 50
        # of the faces.
        self.assertEqual(m["y_plus"], {"min": 10.0, "mean": 40.0, "max": 150.0})
        self.assertIn("; y+ 10 to 150, area-weighted mean 40", result.stdout)
        self.assertIn("wrote ./plots/aircraft_surface_y_plus.png", result.stdout)
        self.assertTrue(os.path.isfile(os.path.join(self.case, "plots", "aircraft_surface_y_plus.png")))

    def test_a_missing_log_fails_without_metrics(self):
        result = subprocess.run([sys.executable] + COMMAND, cwd=self.case, capture_output=True, text=True)
        self.assertEqual(result.returncode, 1)
        self.assertIn("write-cfd-analysis:", result.stderr)
        self.assertIn("Simulation log was not found", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.case, "cfd_analysis_metrics.json")))


class DragParts(unittest.TestCase):
    """The split of the final drag, read from log lines as forceCoeffs prints them."""

    LINE = "        Cd       : {}\t(pressure: {}\tviscous: {})\n"

    def test_the_last_drag_line_gives_the_parts(self):
        from orvanta_case.cfd_metrics import drag_parts

        text = (self.LINE.format(0.05, 0.04, 0.01) + "        Cd(f)    : 0.53\n" +
                "        Cl       : 0.3\t(pressure: 0.31\tviscous: -7e-06)\n" +
                self.LINE.format("0.0312", "0.02", "0.0112"))
        pressure, viscous = drag_parts(text, 0.0312)
        self.assertEqual(pressure, 0.02)
        self.assertEqual(pressure + viscous, 0.0312)

    def test_parts_rounded_in_print_still_add_up_to_the_total(self):
        from orvanta_case.cfd_metrics import drag_parts

        # Six digits, as with a lower writePrecision: the printed parts sum to 0.0312347.
        pressure, viscous = drag_parts(self.LINE.format("0.0312346", "0.0200001", "0.0112346"), 0.0312346)
        self.assertLessEqual(abs(pressure + viscous - 0.0312346), 1e-17)
        self.assertAlmostEqual(viscous, 0.0112346, delta=2e-7)

    def test_lines_without_parts_and_lines_the_host_skips(self):
        from orvanta_case.cfd_metrics import drag_parts

        self.assertEqual(drag_parts("        Cd       : 0.0312\n", 0.0312), (None, None))
        self.assertEqual(drag_parts(self.LINE.format(0.05, 0.04, 0.01), None), (None, None))
        self.assertEqual(drag_parts(self.LINE.format(0.05, "nan", "nan"), 0.05), (None, None))
        # Longer than any solver line: the host's reader skips it, so it is not the last one.
        long_line = self.LINE.format(0.07, 0.06, 0.01).rstrip("\n") + " " * 2100 + "\n"
        self.assertEqual(drag_parts(self.LINE.format(0.05, 0.04, 0.01) + long_line, 0.05), (0.04, 0.05 - 0.04))
        with self.assertRaisesRegex(ValueError, "^the log's last drag line gives CD 0.07, but the host read 0.05$"):
            drag_parts(self.LINE.format(0.07, 0.06, 0.01), 0.05)


class ResidualDrops(unittest.TestCase):
    def test_orders_of_magnitude_and_unusable_histories(self):
        from orvanta_case.cfd_metrics import residual_drop_orders

        drops = residual_drop_orders({"p": [1.0, 0.1, 1e-4], "e": [0.5], "k": [1e-3, None], "U": [0.0, 1e-6]})
        self.assertTrue(math.isclose(drops["p"], 4.0))
        self.assertEqual((drops["e"], drops["k"], drops["U"]), (None, None, None))


if __name__ == "__main__":
    unittest.main()
