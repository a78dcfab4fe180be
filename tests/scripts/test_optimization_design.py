"""The optimizer's variables: which parameters a selection names, the ranges and scaling
they get, the values written back into the model, and the settings read from the case."""

import json
import os
import shutil
import tempfile
import unittest

import numpy as np

import case_scripts  # noqa: F401
from orvanta_case.optimization import design_space, settings
from orvanta_case.optimization.design_space import DesignSpace, parse_selection

ENTRIES = {
    "Wing:UpperCoeff:Au": {"parameters": [f"UpperCoeff_{s}:Au_{i}" for s in (0, 1) for i in range(3)],
                           "values": [0.2, 0.18, 0.0, 0.16, 0.15, 0.14], "lower": [-1e12] * 6,
                           "upper": [1e12] * 6},
    "Wing:XSec_1:Twist": {"parameters": ["XSec_1:Twist"], "values": [-2.0], "lower": [-180.0], "upper": [180.0]},
    "Wing:XSec_1:Tip_Chord": {"parameters": ["XSec_1:Tip_Chord"], "values": [0.8], "lower": [0.7],
                              "upper": [1e6]},
}


class Selection(unittest.TestCase):
    def test_keys_indices_lists_and_ranges_pick_parameters_in_order_without_repeats(self):
        self.assertEqual(parse_selection(["Wing:XSec_1:Twist", "Wing:UpperCoeff:Au[4]",
                                          "Wing:UpperCoeff:Au[0, 4]", "Wing:UpperCoeff:Au[5..3]"], ENTRIES),
                         [("Wing:XSec_1:Twist", 0), ("Wing:UpperCoeff:Au", 4), ("Wing:UpperCoeff:Au", 0),
                          ("Wing:UpperCoeff:Au", 5), ("Wing:UpperCoeff:Au", 3)])
        self.assertEqual(len(parse_selection(None, ENTRIES)), 8)
        self.assertEqual(parse_selection("Wing:XSec_1:Twist", ENTRIES), [("Wing:XSec_1:Twist", 0)])

    def test_unknown_keys_bad_indices_and_empty_choices_are_refused_with_the_key_named(self):
        cases = [(["Wing:XSec_1:Span"], "Wing:XSec_1:Span"), (["Wing:UpperCoeff:Au[6]"], "index 6"),
                 (["Wing:UpperCoeff:Au[a]"], "not an integer"), ([], "selects no"), ([3], "list of")]
        for selection, text in cases:
            with self.subTest(selection=selection):
                with self.assertRaises(ValueError) as caught:
                    parse_selection(selection, ENTRIES)
                self.assertIn(text, str(caught.exception))


class Ranges(unittest.TestCase):
    def setUp(self):
        self.space = DesignSpace(ENTRIES, ["Wing:XSec_1:Twist", "Wing:UpperCoeff:Au[1,2]", "Wing:XSec_1:Tip_Chord"],
                                 3.0)

    def test_angles_move_in_degrees_others_by_a_fraction_and_the_engine_limits_clip(self):
        v = {x.name: x for x in self.space.variables}
        self.assertEqual((v["Wing:XSec_1:Twist"].lower, v["Wing:XSec_1:Twist"].upper), (-7.0, 3.0))
        self.assertAlmostEqual(v["Wing:UpperCoeff:Au[1]"].half_width, 0.25 * 0.18)
        # A coefficient at zero still gets a range from its key's largest value.
        self.assertAlmostEqual(v["Wing:UpperCoeff:Au[2]"].half_width, 0.05 * 0.2)
        self.assertEqual((v["Wing:XSec_1:Tip_Chord"].lower, v["Wing:XSec_1:Tip_Chord"].upper), (0.7, 1.0))
        self.assertEqual(self.space.names[-1], design_space.ANGLE_OF_ATTACK)
        self.assertEqual((v["angle_of_attack"].lower, v["angle_of_attack"].upper), (-7.0, 13.0))
        lo, hi = self.space.bounds()
        np.testing.assert_allclose(lo, [-1.0, -1.0, -1.0, -0.1 / 0.2, -1.0])
        np.testing.assert_allclose(hi, [1.0, 1.0, 1.0, 1.0, 1.0])

    def test_scaled_points_give_full_value_lists_with_only_the_chosen_entries_changed(self):
        x = np.array([0.5, 1.0, -1.0, 0.0, -0.3])
        values = self.space.shape_values(x)
        self.assertEqual(values["Wing:XSec_1:Twist"], [0.5])
        np.testing.assert_allclose(values["Wing:UpperCoeff:Au"], [0.2, 0.225, -0.01, 0.16, 0.15, 0.14])
        self.assertAlmostEqual(self.space.angle_of_attack(x), 0.0)
        every = self.space.all_values(x)
        self.assertEqual(list(every), list(ENTRIES) + ["angle_of_attack"])
        self.assertEqual(every["Wing:XSec_1:Twist"], 0.5)  # one parameter: a number, not a list
        self.assertTrue(self.space.same_shape(x, np.array([0.5, 1.0, -1.0, 0.0, 0.7])))
        self.assertFalse(self.space.same_shape(x, np.zeros(5)))


class PackagedDesignSpace(unittest.TestCase):
    """The packaged wing has stations enough to shape its span loading, its sections still make
    the straight-tapered wing it was, and the default selection resolves on it."""

    @classmethod
    def setUpClass(cls):
        from orvanta_case.optimization import geometry
        cls.model = os.path.join(case_scripts.ASSETS, "aircraft.vsp3")
        config = os.path.join(case_scripts.ASSETS, "vsp_design_vars.json")
        cls.entries = geometry.design_variables(config, cls.model)
        cls.measure = geometry.measure_wing(cls.model)

    def test_four_stations_lie_on_the_tapered_wing_with_thickness_linear_in_span(self):
        sections = self.measure["sections"]
        self.assertEqual([round(s["chord"], 12) for s in sections], [2.0, 1.6, 1.2, 0.8])
        root, tip = np.array(sections[0]["thickness"]), np.array(sections[-1]["thickness"])
        for k, section in ((1, sections[1]), (2, sections[2])):
            np.testing.assert_allclose(section["thickness"], root + k / 3 * (tip - root), rtol=2e-4)
        twists = [self.entries[f"Wing:XSec_{i}:Twist"]["values"][0] for i in (1, 2, 3)]
        np.testing.assert_allclose(twists, [-2 / 3, -4 / 3, -2.0])

    def test_the_default_selection_has_every_twist_and_camber_at_three_stations(self):
        path = os.path.join(case_scripts.HERE, "..", "..", "host", "config", "advanced_parameters.json")
        with open(path, encoding="utf-8") as f:
            default = json.load(f)["run-aero-optimization"]["optimization_design_variables"]["value"]
        space = DesignSpace(self.entries, default, 4.0)
        names = space.names
        self.assertEqual([n for n in names if n.endswith("Twist")],
                         ["Wing:XSec_1:Twist", "Wing:XSec_2:Twist", "Wing:XSec_3:Twist"])
        self.assertEqual(len([n for n in names if "Coeff" in n]), 6)
        self.assertEqual(names[-1], design_space.ANGLE_OF_ATTACK)


class Settings(unittest.TestCase):
    def setUp(self):
        self.case = tempfile.mkdtemp(prefix="orvanta_opt_settings_")
        self.addCleanup(shutil.rmtree, self.case)

    def write(self, parameters):
        os.makedirs(os.path.join(self.case, ".orvanta"), exist_ok=True)
        with open(os.path.join(self.case, settings.ADVANCED_PARAMETERS), "w", encoding="utf-8") as f:
            json.dump({k: {"value": v, "description": ""} for k, v in parameters.items()}, f)

    def test_the_hosts_resolved_parameters_win_and_absent_ones_fall_back(self):
        self.assertEqual(settings.read_settings(self.case), settings.DEFAULTS)
        self.write({"optimization_design_variables": ["Wing:XSec_1:Twist"], "solver_name": "DASimpleFoam"})
        values = settings.read_settings(self.case)
        self.assertEqual(values["optimization_design_variables"], ["Wing:XSec_1:Twist"])
        self.assertEqual(values["optimization_fd_step"], settings.DEFAULTS["optimization_fd_step"])

    def test_steps_and_schemes_outside_their_range_are_refused(self):
        for parameters in ({"optimization_fd_step": 0.0}, {"optimization_fd_step": "big"},
                           {"optimization_fd_scheme": "backward"}):
            self.write(parameters)
            with self.subTest(parameters=parameters), self.assertRaises(ValueError):
                settings.read_settings(self.case)


if __name__ == "__main__":
    unittest.main()
