"""The confirmation of an optimization on a finer mesh: the mesh recipe raises exactly the
mesh run's refinement levels, the metrics and the figure carry the confirmed drags (or say
why there are none), and a case without a recipe is told so instead of failing."""

import io
import os
import re
import shutil
import tempfile
import unittest

from case_scripts import ASSETS, DATA
from orvanta_case.optimization import analysis_metrics, confirmation, history_plots, mesh_recipe
from orvanta_case.optimization.history import HistoryWriter

SYSTEM = os.path.join(ASSETS, "system")


def level_lines(text):
    return re.findall(r"^\s*(?:surfaceLevel|lineLevel|curvLevel|curvatureLevel)\b.*$", text, re.MULTILINE)


class MeshRecipe(unittest.TestCase):
    def dictionary(self, name):
        with open(os.path.join(SYSTEM, name), encoding="utf-8") as f:
            return f.read()

    def test_every_level_the_mesh_run_sets_is_raised_and_nothing_else_changes(self):
        for name in (mesh_recipe.NO_LAYER_DICT, "snappyHexMeshDict_layer"):
            text = self.dictionary(name)
            raised = mesh_recipe.raise_levels(text, 1)
            self.assertEqual([l.strip() for l in level_lines(raised)],
                             ["surfaceLevel 6;", "lineLevel 7;", "curvLevel 8;", "curvatureLevel (10 0 8 -1);"], name)
            before = [l for l in text.splitlines() if l not in level_lines(text)]
            after = [l for l in raised.splitlines() if l not in level_lines(raised)]
            self.assertEqual(before, after, name)
            # The default curvature level is a reference to the surface level, not a number.
            self.assertIn("curvLevel $surfaceLevel;", raised)

    def test_switched_off_curvature_refinement_stays_off(self):
        text = self.dictionary(mesh_recipe.NO_LAYER_DICT)
        text = re.sub(r"^\s*curvLevel \d+;", "// curvLevel disabled;", text, flags=re.MULTILINE)
        text = re.sub(r"^\s*curvatureLevel \(.*\);", "                // curvatureLevel disabled;", text,
                      flags=re.MULTILINE)
        raised = mesh_recipe.raise_levels(text, 2)
        self.assertIn("// curvLevel disabled;", raised)
        self.assertIn("// curvatureLevel disabled;", raised)
        self.assertEqual([l.strip() for l in level_lines(raised)], ["surfaceLevel 7;", "lineLevel 8;"])

    def test_the_recipe_level_and_cell_count_are_read_from_the_mesh_case_files(self):
        case = tempfile.mkdtemp(prefix="orvanta_recipe_")
        self.addCleanup(shutil.rmtree, case)
        self.assertIsNone(mesh_recipe.recipe_system(case))
        system = os.path.join(case, mesh_recipe.RECIPE_DIR, "system")
        os.makedirs(system)
        shutil.copy(os.path.join(SYSTEM, mesh_recipe.NO_LAYER_DICT), system)
        self.assertEqual(mesh_recipe.recipe_system(case), system)
        self.assertEqual(mesh_recipe.surface_level(system), 5)
        mesh = os.path.join(case, "polyMesh")
        os.makedirs(mesh)
        with open(os.path.join(mesh, "owner"), "w", encoding="ascii") as f:
            f.write('FoamFile\n{\n    note "nPoints:1000  nCells:812  nFaces:3000  nInternalFaces:2500";\n}\n')
        self.assertEqual(mesh_recipe.cell_count(mesh), 812)


def history_with_confirmation(case, confirmed):
    h = HistoryWriter(os.path.join(case, "OptView.hst"))
    h.set_meta(optimizer="SLSQP", lift_target=0.5, lift_scale=0.5, exit_status="done", primal_solves=4,
               design_variables=[{"name": "Wing:XSec_3:Twist"}])
    base = h.add_evaluation({"design": {}, "x": [0.0], "cd": 0.0300, "cl": 0.5, "feasibility": 0.0})
    final = h.add_evaluation({"design": {}, "x": [0.2], "cd": 0.0297, "cl": 0.5, "feasibility": 0.0})
    h.set_meta(baseline_evaluation=base, final_evaluation=final, confirmation=confirmed)
    h.close()
    shutil.copy(os.path.join(DATA, "cfd_simplefoam_converged.log"), os.path.join(case, "log_optimization.txt"))
    return case


def design(cd, level=5, cells=300000):
    return {"name": "x", "surface_level": level, "cells": cells, "cd": cd, "cl": 0.5, "angle_of_attack": 4.2,
            "converged": True, "lift_met": True, "mesh_seconds": 80.0, "solve_seconds": 200.0}


class ConfirmationReport(unittest.TestCase):
    def setUp(self):
        self.case = tempfile.mkdtemp(prefix="orvanta_confirm_")
        self.addCleanup(shutil.rmtree, self.case)

    def metrics(self):
        return analysis_metrics.optimization_metrics(self.case, "opt_SLSQP.txt", "OptView.hst", "none", "cfg.json")

    def test_metrics_and_figure_carry_the_confirmed_drags(self):
        confirmed = {"baseline": design(0.0290), "optimized": design(0.0288), "optimization_surface_level": 4,
                     "reduction_pct": confirmation.reduction_pct(0.0290, 0.0288), "trusted": True}
        history_with_confirmation(self.case, confirmed)
        m = self.metrics()
        self.assertEqual((m["confirmed_cd_baseline"], m["confirmed_cd_optimized"]), (0.0290, 0.0288))
        self.assertAlmostEqual(m["confirmed_reduction_pct"], 100 * 0.0002 / 0.0290)
        self.assertEqual((m["confirmed_surface_level"], m["confirmed_cells"], m["confirmation_trusted"]),
                         (5, 300000, True))
        written = history_plots.plot_history(self.case, "OptView.hst", "opt_SLSQP.txt")
        figure = [p for p in written if p.endswith("general_opt_confirmation.png")]
        self.assertEqual(len(figure), 1)
        self.assertGreater(os.path.getsize(figure[0]), 20000)

    def test_without_a_confirmation_the_keys_are_empty_and_a_failure_is_kept(self):
        history_with_confirmation(self.case, {})
        m = self.metrics()
        self.assertEqual([m[k] for k in ("confirmed_cd_baseline", "confirmed_cd_optimized", "confirmed_reduction_pct")],
                         [None, None, None])
        os.remove(os.path.join(self.case, "OptView.hst"))
        history_with_confirmation(self.case, {"error": "snappyHexMesh failed with exit status 1"})
        self.assertIn("snappyHexMesh", self.metrics()["confirmation_error"])
        self.assertIsNone(confirmation.reduction_pct(float("nan"), 0.03))
        self.assertIsNone(confirmation.reduction_pct(0.0, 0.03))

    def test_a_case_without_a_recipe_is_skipped_with_a_reason(self):
        out = io.StringIO()
        settings = type("S", (), {"n_ranks": 1, "oversubscribe": False})()
        checker = confirmation.Confirmation(self.case, os.path.join(self.case, "opt_work"), settings, None, 0.5, 1, out)
        self.assertEqual(checker.run({"baseline": ("a.vsp3", 2.0), "optimized": ("b.vsp3", 2.0)}), {})
        self.assertIn("confirmation skipped", out.getvalue())
        self.assertFalse(os.path.exists(os.path.join(self.case, confirmation.RESULT_FILE)))


if __name__ == "__main__":
    unittest.main()
