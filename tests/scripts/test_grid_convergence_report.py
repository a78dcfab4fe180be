"""The grid-convergence report's arithmetic: observed order, Richardson extrapolation and
GCI against a manufactured sequence, and the span efficiency of a two-point polar."""

import math
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))

import grid_convergence_report as report  # noqa: E402


def manufactured(h, exact=0.025, c=0.8, p=2.0):
    return exact + c * h ** p


class Richardson(unittest.TestCase):
    def test_a_second_order_sequence_gives_order_two_and_the_exact_value(self):
        h = [0.04, 0.02, 0.01]  # coarse, mid, fine
        f = [manufactured(x) for x in h]
        p = report.observed_order(f[2], f[1], f[0], 2.0, 2.0)
        self.assertAlmostEqual(p, 2.0, places=9)
        extrapolated, gci = report.richardson(f[2], f[1], 2.0, p)
        self.assertAlmostEqual(extrapolated, 0.025, places=12)
        # GCI = 1.25 |f_mid - f_fine| / f_fine / (r^p - 1).
        self.assertAlmostEqual(gci, 1.25 * (f[1] - f[2]) / f[2] / 3.0, places=12)

    def test_unequal_refinement_ratios_still_recover_the_order(self):
        h = [0.05, 0.03, 0.02]
        f = [manufactured(x, p=1.5) for x in h]
        p = report.observed_order(f[2], f[1], f[0], h[1] / h[2], h[0] / h[1])
        self.assertAlmostEqual(p, 1.5, places=6)

    def test_oscillating_or_stalled_sequences_have_no_order(self):
        self.assertIsNone(report.observed_order(0.0250, 0.0260, 0.0255, 2.0, 2.0))
        self.assertIsNone(report.observed_order(0.0250, 0.0250, 0.0260, 2.0, 2.0))

    def test_summary_uses_the_three_finest_grids_and_cell_counts_for_the_ratio(self):
        cells = [100_000, 800_000, 6_400_000, 51_200_000]  # each twice as fine in h
        rows = [{"cd": manufactured(report.representative_size(n)), "h": report.representative_size(n)}
                for n in cells]
        rows[0]["cd"] = 1.0  # the coarsest grid must not matter
        summary = report.convergence_summary(rows)
        self.assertAlmostEqual(summary["observed_order"], 2.0, places=6)
        self.assertAlmostEqual(summary["cd_extrapolated"], 0.025, places=10)
        fine, mid = rows[-1]["cd"], rows[-2]["cd"]
        self.assertAlmostEqual(summary["cd_change_pct_last"], 100.0 * (fine - mid) / mid, places=12)


class Polar(unittest.TestCase):
    def test_an_elliptic_polar_gives_its_efficiency_back(self):
        aspect, e, cd0 = 8.57, 0.8, 0.02

        def cd(cl):
            return cd0 + cl * cl / (math.pi * e * aspect)

        self.assertAlmostEqual(report.span_efficiency(0.3, cd(0.3), 0.5, cd(0.5), aspect), e, places=12)
        with self.assertRaises(ValueError):
            report.span_efficiency(0.3, 0.02, 0.5, 0.02, aspect)

    def test_a_level_off_the_target_lift_is_moved_onto_the_same_polar(self):
        k, cd0 = 0.046, 0.02
        factor = report.polar_factor(0.3, cd0 + k * 0.09, 0.5, cd0 + k * 0.25)
        self.assertAlmostEqual(factor, k, places=12)
        row = {"cl": 0.51, "cd": cd0 + k * 0.51 ** 2, "cd_pressure": 0.01 + k * 0.51 ** 2}
        moved = report.move_to_lift(row, 0.5, factor)
        self.assertAlmostEqual(moved["cd"], cd0 + k * 0.25, places=12)
        self.assertAlmostEqual(moved["cd_pressure"] - 0.01, k * 0.25, places=12)  # induced drag is pressure drag
        self.assertEqual(row["cd"], cd0 + k * 0.51 ** 2)  # the solved row is left as it was
        with self.assertRaises(ValueError):
            report.polar_factor(0.5, 0.03, -0.5, 0.03)


if __name__ == "__main__":
    unittest.main()
