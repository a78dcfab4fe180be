"""Finite-difference machinery: step plans at the range's edge, differences of known
functions, trailing-window averages of wandering coefficients, the solver-output tee, and
perturbed solutions run side by side."""

import io
import threading
import time
import unittest

import numpy as np

import case_scripts  # noqa: F401
from orvanta_case.optimization import finite_difference as fd
from orvanta_case.optimization.flow import CoefficientTee, window_result


class Plans(unittest.TestCase):
    def test_forward_steps_turn_back_at_the_upper_bound_and_central_steps_go_both_ways(self):
        steps = [(p.variable, p.step) for p in fd.plan(np.array([0.0, 0.99, 1.0]), np.array([1.0, 1.0, 1.0]), 0.02)]
        self.assertEqual(steps, [(0, 0.02), (1, -0.02), (2, -0.02)])
        central = [(p.variable, p.step) for p in fd.plan(np.zeros(2), np.ones(2), 0.1, central=True)]
        self.assertEqual(central, [(0, 0.1), (0, -0.1), (1, 0.1), (1, -0.1)])

    def test_differences_are_exact_for_linear_functions_and_central_ones_for_quadratics(self):
        def f(x):  # two quantities of three variables
            return [2.0 * x[0] - x[1] + 0.5 * x[2], x[0] ** 2 + 3.0 * x[2] ** 2]

        x = np.array([0.3, -0.2, 0.1])
        for central in (False, True):
            plan = fd.plan(x, np.ones(3), 0.01, central)
            results = []
            for p in plan:
                xp = x.copy()
                xp[p.variable] += p.step
                results.append(f(xp))
            grad = fd.differences(f(x), plan, results, 3, central)
            np.testing.assert_allclose(grad[0], [2.0, -1.0, 0.5], rtol=1e-9)
            expected = [2 * x[0], 0.0, 6 * x[2]]
            np.testing.assert_allclose(grad[1], expected, atol=1e-12 if central else 0.04)


class Averages(unittest.TestCase):
    def test_coefficients_are_means_over_the_trailing_window(self):
        n = 200
        history = {"cd": list(0.03 + 1e-3 * np.exp(-np.arange(n) / 10.0) + 1e-6 * np.sin(np.arange(n))),
                   "cl": [0.5] * n, "cm": [-0.1] * n}
        r = window_result(history, 2.0, True, 12.0, window=50)
        self.assertAlmostEqual(r.cd, float(np.mean(history["cd"][-50:])), places=15)
        self.assertLess(abs(r.cd - 0.03), 1e-6)  # the start-up transient is outside the window
        self.assertLess(r.cd_std, 1e-6)
        self.assertEqual((r.cl, r.iterations, r.angle_of_attack), (0.5, 200, 2.0))
        short = window_result({"cd": [0.1, 0.3], "cl": [1.0, 1.0], "cm": []}, 0.0, False, 1.0, window=50)
        self.assertAlmostEqual(short.cd, 0.2)
        with self.assertRaises(RuntimeError):
            window_result({"cd": [], "cl": [], "cm": []}, 0.0, False, 0.0)

    def test_a_solution_that_never_settled_is_averaged_over_more_of_its_run(self):
        n = 600
        cd = list(0.05 + 5e-5 * np.sin(2 * np.pi * np.arange(n) / 47.0))  # a slow oscillation
        history = {"cd": cd, "cl": [0.3] * n, "cm": [0.0] * n}
        settled = window_result(history, 2.0, True, 1.0)
        unsettled = window_result(history, 2.0, False, 1.0)
        self.assertAlmostEqual(settled.cd, float(np.mean(cd[-50:])), places=15)
        self.assertAlmostEqual(unsettled.cd, float(np.mean(cd[-200:])), places=15)
        self.assertLess(abs(unsettled.cd - 0.05), abs(settled.cd - 0.05))
        self.assertEqual(window_result({k: v[:120] for k, v in history.items()}, 2.0, False, 1.0).cd,
                         float(np.mean(cd[60:120])))

    def test_the_tee_passes_output_through_and_reads_lines_split_across_writes(self):
        out = io.StringIO()
        tee = CoefficientTee(out)
        text = "Time = 1\n        Cd       : 0.0251\t(pressure: 0.02\tviscous: 0.005)\n        Cl   "
        tee.write(text)
        tee.write("    : 0.51\t(pressure: 0.5)\n        CmPitch  : -0.1\n")
        self.assertEqual(out.getvalue(), text + "    : 0.51\t(pressure: 0.5)\n        CmPitch  : -0.1\n")
        self.assertEqual(tee.monitor.history, {"cd": [0.0251], "cl": [0.51], "cm": [-0.1]})


class SideBySide(unittest.TestCase):
    def test_each_slot_runs_one_task_at_a_time_and_results_keep_their_order(self):
        pool = fd.SlotPool(["a", "b"])
        running, peak, lock = set(), [0], threading.Lock()

        def task(slot, item):
            with lock:
                self.assertNotIn(slot, running)
                running.add(slot)
                peak[0] = max(peak[0], len(running))
            time.sleep(0.05)
            with lock:
                running.discard(slot)
            return item * 10

        began = time.time()
        self.assertEqual(pool.map(task, [1, 2, 3, 4]), [10, 20, 30, 40])
        self.assertEqual(peak[0], 2)
        self.assertLess(time.time() - began, 0.18)  # two rounds of two, not four in turn

    def test_a_failing_task_fails_the_gradient_after_the_others_ended(self):
        pool = fd.SlotPool(["a", "b"])
        finished = []

        def task(slot, item):
            if item == 1:
                raise RuntimeError("solver diverged")
            time.sleep(0.05)
            finished.append(item)
            return item

        with self.assertRaisesRegex(RuntimeError, "solver diverged"):
            pool.map(task, [1, 2, 3])
        self.assertEqual(sorted(finished), [2, 3])


if __name__ == "__main__":
    unittest.main()
