"""The flow driver's stop rule and its reading of forceCoeffs output."""

import math
import unittest

import numpy as np

import case_scripts  # noqa: F401  (puts the case scripts on the path)
from orvanta_case import convergence
from orvanta_case.convergence import CoefficientMonitor, is_converged, parse_coefficient_line, window_stats


class WindowStats(unittest.TestCase):
    def test_matches_numpy_standard_deviation_and_least_squares_slope(self):
        rng = np.random.default_rng(3)
        values = list(0.02 + 1e-5 * np.arange(50) + 1e-6 * rng.standard_normal(50))
        std, slope = window_stats(values)
        self.assertAlmostEqual(std, float(np.std(values)), delta=1e-15)
        self.assertAlmostEqual(slope, float(np.polyfit(np.arange(50), values, 1)[0]), delta=1e-12)

    def test_a_constant_window_has_neither_spread_nor_slope(self):
        std, slope = window_stats([0.025] * 10)
        self.assertLess(std, 1e-15)
        self.assertLess(abs(slope), 1e-15)

    def test_needs_two_values(self):
        with self.assertRaises(ValueError):
            window_stats([0.1])


class StopRule(unittest.TestCase):
    def test_waits_for_a_full_window(self):
        flat = [0.03] * (convergence.WINDOW - 1)
        self.assertFalse(is_converged(flat, 1e-5, 1e-6))
        self.assertTrue(is_converged(flat + [0.03], 1e-5, 1e-6))

    def test_only_the_trailing_window_counts(self):
        history = [1.0, -3.0, 0.5] + [0.03] * convergence.WINDOW
        self.assertTrue(is_converged(history, 1e-5, 1e-6))

    def test_a_slow_drift_keeps_running_although_the_spread_is_small(self):
        # 2e-7 per iteration: std over 50 iterations is about 2.9e-6, under 1e-5.
        drift = [0.03 + 2e-7 * i for i in range(convergence.WINDOW)]
        self.assertLess(window_stats(drift)[0], 1e-5)
        self.assertFalse(is_converged(drift, 1e-5, 1e-7))
        self.assertTrue(is_converged(drift, 1e-5, 1e-6))

    def test_an_oscillation_without_drift_keeps_running_on_its_spread(self):
        wave = [0.03 + 5e-5 * math.sin(0.4 * i) for i in range(convergence.WINDOW)]
        self.assertFalse(is_converged(wave, 1e-5, 1e-3))

    def test_limits_are_strict_and_nan_never_converges(self):
        std = window_stats([0.0, 1.0] * 25)[0]
        self.assertFalse(is_converged([0.0, 1.0] * 25, std, 1.0))
        self.assertFalse(is_converged([0.03] * 49 + [float("nan")], 1.0, 1.0))


class CoefficientLines(unittest.TestCase):
    def test_reads_the_three_coefficients_forcecoeffs_prints(self):
        self.assertEqual(parse_coefficient_line("        Cd       : 0.3001950086\t(pressure: 0.27\tviscous: 0.02)"),
                         ("Cd", 0.3001950086))
        self.assertEqual(parse_coefficient_line("        Cl       : -0.19"), ("Cl", -0.19))
        self.assertEqual(parse_coefficient_line("        CmPitch       : 0.1468259563\t(pressure: 0.14)"),
                         ("CmPitch", 0.1468259563))

    def test_ignores_components_other_coefficients_and_other_lines(self):
        for line in ("        Cd(f)    : 0.4195409553", "        Cs       : 0.002", "        CmRoll       : 0.26",
                     "smoothSolver:  Solving for Ux, Initial residual = 0.03", "Time = 12", "    Cd       :",
                     "orvanta-flow: primal run converged after 129 iterations: CD 0.05"):
            self.assertIsNone(parse_coefficient_line(line), line)

    def test_nan_is_kept_as_a_value(self):
        name, value = parse_coefficient_line("        Cd       : nan")
        self.assertEqual(name, "Cd")
        self.assertTrue(math.isnan(value))

    def test_monitor_follows_a_solver_log(self):
        monitor = CoefficientMonitor(std_tol=1e-5, slope_tol=1e-6, window=3)
        completed = []
        for i, cd in enumerate((0.3, 0.05, 0.05, 0.05)):
            completed.append(monitor.feed(f"        Cd       : {cd}\t(pressure: 0\tviscous: 0)"))
            monitor.feed(f"        Cl       : {0.3 + i}")
            monitor.feed(f"        CmPitch       : {-0.04}")
            monitor.feed("        Cd(r)    : 0.9")
        self.assertEqual(completed, [True] * 4)
        self.assertEqual(monitor.history["cd"], [0.3, 0.05, 0.05, 0.05])
        self.assertEqual(monitor.last("cl"), 3.3)
        self.assertTrue(monitor.converged())


if __name__ == "__main__":
    unittest.main()
