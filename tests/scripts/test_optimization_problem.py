"""The real optimization problem on closed-form fakes of the flow and the mesh motion (the
drag of optimization_fakes, whose optimum at the lift target lies at a twist of 1 deg; the
mesh refuses to move beyond a twist of 0.6 deg). When a trial design's mesh cannot be moved,
the optimizers must step back from it and go on, not end the optimization there; points a
line search brings within a hair of a solved design reuse its solution and gradient."""

import io
import os
import shutil
import tempfile
import unittest

import numpy as np

from optimization_fakes import ENTRIES, FakeFlow
from orvanta_case.optimization import optimizers
from orvanta_case.optimization.design_space import DesignSpace
from orvanta_case.optimization.finite_difference import SlotPool
from orvanta_case.optimization.history import HistoryWriter
from orvanta_case.optimization.problem import Problem, Slot
from orvanta_case.optimization.shape import MovedMesh, ShapeError

TWIST_LIMIT = 0.6


class NoGeometricBounds:
    labels, group_bounds, disabled = [], {}, []

    def __len__(self):
        return 0

    def lower_bounds(self):
        return np.zeros(0)

    def violations(self, ratios):
        return []


class Morpher:
    """Writes the twist into the 'points' file; beyond TWIST_LIMIT the mesh check (which the
    real morpher runs for designs, not for the small perturbations of a gradient) fails."""

    def __init__(self, work):
        self.work = work

    def move(self, values, name, check=False):
        twist = values["Wing:XSec_1:Twist"][0]
        if check and twist > TWIST_LIMIT:
            raise ShapeError(f"the moved mesh has inverted cells; see {name}/log.checkMesh")
        points = os.path.join(self.work, f"{name}_points")
        with open(points, "w") as f:
            f.write(repr(twist))
        return MovedMesh(points, None, abs(twist) * 1e-3, 0.0)


class FlowCase:
    def __init__(self, directory):
        self.directory, self.twist = directory, 0.0

    def set_points(self, points):
        with open(points) as f:
            self.twist = float(f.read())

    def solve(self, aoa, warm, out, lift_target=None):
        t = self.twist
        return FakeFlow(aoa, 0.03 + 0.002 * (t - 1.5) ** 2 + 0.0004 * aoa * aoa, 0.1 * aoa + 0.02 * t)

    def save_fields(self, directory):
        os.makedirs(directory, exist_ok=True)
        return directory


def make_problem(work, history):
    slots = [Slot("slot_0", FlowCase(os.path.join(work, "slot_0")), io.StringIO())]
    problem = Problem(DesignSpace(ENTRIES, None, 2.0), NoGeometricBounds(), 0.25, Morpher(work),
                      FlowCase(os.path.join(work, "nominal")), SlotPool(slots), history, io.StringIO(), 0.02)
    problem.trim_baseline = False
    return problem


class UnusableDesigns(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="orvanta_unusable_")
        self.addCleanup(shutil.rmtree, self.work)

    def problem(self, history):
        return make_problem(self.work, history)

    def test_slsqp_steps_back_from_designs_whose_mesh_cannot_move_and_ends_on_a_solved_one(self):
        history = HistoryWriter(os.path.join(self.work, "OptView.hst"))
        problem = self.problem(history)
        log = optimizers.IterationLog(problem, os.path.join(self.work, "opt_SLSQP.txt"), "SLSQP")
        x, status, iterations = optimizers.run_slsqp(problem, 20, log)
        log.finish(status)
        history.close()
        log_text = problem.out.getvalue()
        self.assertIn("not solved: the optimizer has to step back from it", log_text)
        self.assertTrue(problem.unusable, "the fake never refused a mesh: the test proves nothing")
        final = problem.evaluate(x)
        if final.flow is None:
            final = problem.accepted
        twist = problem.space.physical(final.x)[0]
        self.assertLessEqual(twist, TWIST_LIMIT + 1e-9)
        self.assertGreater(twist, 0.3)  # it got most of the way to the reachable optimum
        self.assertAlmostEqual(final.flow.cl, 0.25, places=3)
        self.assertLess(final.flow.cd, problem.cd0)
        self.assertGreaterEqual(iterations, 1)

    def test_the_baseline_mesh_failing_is_still_an_error_and_no_gradient_is_taken_at_an_unusable_design(self):
        problem = self.problem(None)
        x_bad = problem.space.x0()
        x_bad[0] = 1.0  # a twist of 5 deg
        with self.assertRaises(ShapeError):  # nothing solved yet: nothing to step back to
            problem.evaluate(x_bad)
        problem.history = HistoryWriter(os.path.join(self.work, "OptView.hst"))
        problem.evaluate(problem.space.x0())
        bad = problem.evaluate(x_bad)
        self.assertIsNone(bad.flow)
        self.assertEqual(problem.objective(x_bad), 10.0)
        self.assertGreater(abs(problem.constraints(x_bad)[0]), 1.0)
        with self.assertRaises(ShapeError):
            problem.gradient(x_bad)
        problem.history.close()


class NearbyDesigns(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="orvanta_nearby_")
        self.addCleanup(shutil.rmtree, self.work)

    def test_points_within_a_hair_of_a_solved_design_reuse_its_solution_and_gradient(self):
        problem = make_problem(self.work, HistoryWriter(os.path.join(self.work, "OptView.hst")))
        x0 = problem.space.x0()
        base = problem.evaluate(x0)
        problem.gradient(x0)
        solves = problem.primal_solves
        hair = x0 + np.array([3e-5, -5e-5])
        self.assertIs(problem.evaluate(hair), base)
        np.testing.assert_array_equal(problem.gradient(hair), problem.gradient(x0))
        self.assertEqual(problem.primal_solves, solves)  # no flow solution for either
        apart = x0 + np.array([2e-4, 0.0])
        self.assertIsNot(problem.evaluate(apart), base)
        self.assertEqual(problem.primal_solves, solves + 1)
        self.assertEqual(problem.evaluate(apart).index, 1)  # numbering counts solutions, not aliases
        again = problem.solve_again(base)
        self.assertIsNot(again, base)
        self.assertIs(problem.evaluate(hair), again)
        problem.history.close()

    def test_slsqp_stops_when_its_accepted_step_lands_back_on_the_design_it_stood_on(self):
        from orvanta_case.optimization import problem as problem_module
        history = HistoryWriter(os.path.join(self.work, "OptView.hst"))
        problem = make_problem(self.work, history)
        log = optimizers.IterationLog(problem, os.path.join(self.work, "opt_SLSQP.txt"), "SLSQP")
        saved = problem_module.SAME_DESIGN
        problem_module.SAME_DESIGN = 10.0  # every trial point stands for the baseline
        try:
            x, status, iterations = optimizers.run_slsqp(problem, 20, log)
        finally:
            problem_module.SAME_DESIGN = saved
        log.finish(status)
        history.close()
        self.assertTrue(status.startswith("stopped: the line search found no better design"), status)
        self.assertEqual(iterations, 0)
        self.assertIs(problem.evaluate(x), problem.evaluate(problem.space.x0()))
        self.assertEqual(problem.primal_solves, 3)  # the baseline and its gradient, nothing more


if __name__ == "__main__":
    unittest.main()
