"""Prism-layer coverage of the aircraft read from snappyHexMesh's report in a real mesh log
(tests/scripts/data/pipeline_mesh_ok.log: a no-layer pass, then a layer pass of two layers
whose last iteration extruded 2564 of the 2662 aircraft faces, 1.8 layers on average)."""

import unittest

from case_scripts import data_text
from orvanta_case.layer_report import layer_metrics

FINAL_ROW = "aircraft 2662     1.8      0.0771    80.3    "
LAST_EXTRUSION = "Extruding 2564 out of 2662 faces (96.3185574756%). Removed extrusion at 0 faces."


class LayerReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.text = data_text("pipeline_mesh_ok.log")
        # The fixture must hold the lines the expectations below are drawn from.
        assert cls.text.count(FINAL_ROW) == 1 and cls.text.count(LAST_EXTRUSION) == 1

    def test_coverage_from_the_last_iteration_and_mean_from_the_final_table(self):
        m = layer_metrics(self.text)
        self.assertEqual(list(m), ["layer_coverage_pct", "layers_mean"])
        # Earlier iterations extruded more faces (2594, 2573, ...): only the last one counts.
        self.assertAlmostEqual(m["layer_coverage_pct"], 100.0 * 2564 / 2662, places=12)
        self.assertEqual(m["layers_mean"], 1.8)

    def test_a_layer_pass_cut_short_or_missing_tells_nothing(self):
        cut = self.text[:self.text.index("Added 4796 out of 5324 cells")]
        self.assertEqual(layer_metrics(cut), {"layer_coverage_pct": None, "layers_mean": None})
        # Only the castellating and snapping pass ran: no layer phase at all.
        second_snappy = self.text.index("Exec   : snappyHexMesh", self.text.index("Exec   : snappyHexMesh") + 1)
        self.assertEqual(layer_metrics(self.text[:second_snappy]),
                         {"layer_coverage_pct": None, "layers_mean": None})
        self.assertEqual(layer_metrics(""), {"layer_coverage_pct": None, "layers_mean": None})

    def test_the_last_layer_pass_of_the_log_counts(self):
        start = self.text.rindex("Exec   : snappyHexMesh")
        start = self.text.rindex("\n", 0, start) + 1
        end = self.text.index("Exec   : reconstructParMesh")
        later = (self.text[start:end]
                 .replace(LAST_EXTRUSION, "Extruding 1331 out of 2662 faces (50%). Removed extrusion at 0 faces.")
                 .replace(FINAL_ROW, "aircraft 2662     1        0.0500    52.1    "))
        m = layer_metrics(self.text + later)
        self.assertEqual((m["layer_coverage_pct"], m["layers_mean"]), (50.0, 1.0))

    def test_layers_on_another_patch_leave_the_aircraft_coverage_unknown(self):
        # The extrusion count then covers both patches' faces.
        text = (self.text
                .replace(LAST_EXTRUSION, "Extruding 2600 out of 2762 faces (94.1%). Removed extrusion at 0 faces.")
                .replace(FINAL_ROW, FINAL_ROW + "\nfin      100      2        0.0300    90.0    "))
        m = layer_metrics(text)
        self.assertIsNone(m["layer_coverage_pct"])
        self.assertEqual(m["layers_mean"], 1.8)


if __name__ == "__main__":
    unittest.main()
