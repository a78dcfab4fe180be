"""The aircraft's mesh sizing: the first-layer height against flat-plate theory, the wake
and tip-vortex regions of a swept half wing, and the dictionaries that read them."""

import math
import os
import re
import subprocess
import tempfile
import unittest

import numpy as np

from case_scripts import ASSETS
from orvanta_case import mesh_sizing

FOAM_ENV = dict(os.environ, WM_PROJECT_DIR="/usr/share/openfoam")


def swept_wing_points(semi_span=6.0, root_chord=2.0, tip_chord=0.8, sweep_deg=22.0, dihedral_deg=3.0):
    """Leading- and trailing-edge points of a straight-tapered half wing (y >= 0), with the
    mirror half, as an STL's vertices would hold them."""
    points = []
    for y in np.linspace(0.0, semi_span, 25):
        chord = root_chord + (tip_chord - root_chord) * y / semi_span
        x_le = y * math.tan(math.radians(sweep_deg))
        z = y * math.tan(math.radians(dihedral_deg))
        for x in (x_le, x_le + 0.5 * chord, x_le + chord):
            points += [(x, y, z), (x, -y, z)]
    return np.array(points)


class FirstLayer(unittest.TestCase):
    def test_the_height_puts_the_first_cell_centre_at_the_target_y_plus(self):
        L = 1.5
        t = mesh_sizing.first_layer_thickness(L)
        # Independently: cf of Schlichting at Re_x = 5e5 is 0.004246.
        cf = (2.0 * math.log10(5e5) - 0.65) ** -2.3
        self.assertAlmostEqual(cf, 0.004246, places=6)
        u_tau_over_u = math.sqrt(cf / 2.0)
        self.assertAlmostEqual(0.5 * t * 1e6 * u_tau_over_u / L, mesh_sizing.TARGET_Y_PLUS, places=9)
        self.assertAlmostEqual(mesh_sizing.y_plus_at(1e6, t, L), mesh_sizing.TARGET_Y_PLUS, places=9)
        # A height in reference lengths: the same for any aircraft size.
        self.assertAlmostEqual(mesh_sizing.first_layer_thickness(3.0) / 3.0, t / L, places=15)

    def test_other_reynolds_numbers_move_y_plus_almost_in_proportion(self):
        t = mesh_sizing.first_layer_thickness(1.0)
        ratio = mesh_sizing.y_plus_at(1e7, t, 1.0) / mesh_sizing.y_plus_at(1e6, t, 1.0)
        self.assertTrue(7.0 < ratio < 9.0, ratio)

    def test_bad_inputs_are_errors(self):
        with self.assertRaises(ValueError):
            mesh_sizing.first_layer_thickness(0.0)
        with self.assertRaises(ValueError):
            mesh_sizing.schlichting_cf(1.0)


class Regions(unittest.TestCase):
    GEOMETRY = {"reference_length": 1.486, "root_chord": 2.0, "tip_chord": 0.8, "le_sweep_deg": 22.0}

    def test_the_wake_box_covers_every_trailing_edge_and_the_vortex_starts_at_the_tip(self):
        points = swept_wing_points()
        values = mesh_sizing.sizing(points, self.GEOMETRY)
        low, high = values["wakeMin"], values["wakeMax"]
        # The aftmost point of each station is its trailing edge.
        stations = {}
        for x, y, z in points[points[:, 1] >= 0.0]:
            if y not in stations or x > stations[y][0]:
                stations[y] = (x, y, z)
        self.assertEqual(len(stations), 25)
        for x, y, z in stations.values():
            self.assertTrue(low[0] < x < high[0] and low[1] <= y < high[1] and low[2] < z < high[2], (x, y, z))
        tip_te = np.array([6.0 * math.tan(math.radians(22.0)) + 0.8, 6.0, 6.0 * math.tan(math.radians(3.0))])
        np.testing.assert_allclose(values["vortexStart"], tip_te - [0.5 * 1.486, 0, 0], atol=1e-12)
        self.assertGreater(values["vortexEnd"][0], tip_te[0] + 2.0 * 1.486)
        self.assertEqual(values["aircraftMin"][1], -6.0)

    def test_a_surface_without_a_half_model_is_refused(self):
        with self.assertRaises(ValueError):
            mesh_sizing.find_tip(np.array([(0.0, -1.0, 0.0), (1.0, -2.0, 0.0)]))


@unittest.skipUnless(os.path.isfile("/usr/bin/foamDictionary"), "OpenFOAM is not installed")
class Dictionaries(unittest.TestCase):
    """The snappyHexMesh passes read the written sizing and the levels the run sets."""

    def expanded(self, surface_level, prism_layer, sizing_text=None):
        with tempfile.TemporaryDirectory() as case:
            system = os.path.join(case, "system")
            os.makedirs(system)
            for name in ("blockMeshDict", "meshQualityDict", "snappyHexMeshCommon", "aircraftSizing",
                         "snappyHexMeshDict_layer", "controlDict"):
                with open(os.path.join(ASSETS, "system", name), encoding="utf-8") as f:
                    text = f.read()
                if name == "aircraftSizing" and sizing_text is not None:
                    text = sizing_text
                if name == "snappyHexMeshDict_layer":
                    text = re.sub(r"^\s*surfaceLevel.*$", f"    surfaceLevel {surface_level};", text, flags=re.M)
                    text = re.sub(r"^\s*prismLayer.*$", f"    prismLayer {prism_layer};", text, flags=re.M)
                    name = "snappyHexMeshDict"
                with open(os.path.join(system, name), "w", encoding="utf-8") as f:
                    f.write(text)
            out = subprocess.run(["foamDictionary", "-expand", "system/snappyHexMeshDict"], cwd=case,
                                 env=FOAM_ENV, capture_output=True, text=True)
            self.assertEqual(out.returncode, 0, out.stdout[-2000:] + out.stderr[-2000:])
            return out.stdout

    @staticmethod
    def value(text, key):
        return re.search(rf"^\s*{key}\s+([^;]+);", text, re.M).group(1)

    def test_each_template_holds_each_line_the_run_edits_once(self):
        keywords = ("surfaceLevel", "lineLevel", "curvLevel", "curvatureLevel", "nLayerOuterIter", "prismLayer")
        for name in ("snappyHexMeshDict_no_layer", "snappyHexMeshDict_layer"):
            with open(os.path.join(ASSETS, "system", name), encoding="utf-8") as f:
                text = f.read()
            for keyword in keywords:
                self.assertEqual(len(re.findall(rf"^[ \t]*{keyword}", text, re.M)), 1, (name, keyword))
            self.assertIn('#include "snappyHexMeshCommon"', text)
        with open(os.path.join(ASSETS, "system", "snappyHexMeshCommon"), encoding="utf-8") as f:
            shared = f.read()
        # The shared part is not edited: none of its lines may look like one that is.
        for keyword in keywords:
            self.assertNotRegex(shared, rf"(?m)^[ \t]*{keyword}")

    def test_shell_levels_follow_the_surface_level_and_stop_at_zero(self):
        self.assertRegex(self.expanded(7, 8), r"levels\s+\(\s*\(\s*[\d.e+-]+ 6 \) \(\s*[\d.e+-]+ 5 \) "
                                              r"\(\s*[\d.e+-]+ 4 \) \(\s*[\d.e+-]+ 3 \) \)")
        self.assertRegex(self.expanded(2, 3), r"levels\s+\(\s*\(\s*[\d.e+-]+ 1 \) \(\s*[\d.e+-]+ 0 \) "
                                              r"\(\s*[\d.e+-]+ 0 \) \(\s*[\d.e+-]+ 0 \) \)")

    def test_the_regions_are_read_from_the_written_sizing(self):
        values = mesh_sizing.sizing(swept_wing_points(), Regions.GEOMETRY)
        text = self.expanded(6, 8, mesh_sizing.dictionary_text(values, "test"))
        box = re.search(r"wake\s*\{\s*type\s+searchableBox;\s*min\s+\(([^)]*)\);\s*max\s+\(([^)]*)\);", text)
        np.testing.assert_allclose([float(v) for v in box.group(1).split()], values["wakeMin"], rtol=1e-5)
        np.testing.assert_allclose([float(v) for v in box.group(2).split()], values["wakeMax"], rtol=1e-5)
        self.assertAlmostEqual(float(self.value(text, "radius")), values["vortexRadius"], delta=1e-5)
        self.assertAlmostEqual(float(self.value(text, "shellDistance1")), 0.1 * 1.486, delta=1e-5)


if __name__ == "__main__":
    unittest.main()
