"""The real optimization problem when a trial design's mesh cannot be moved: the optimizers
must step back from it and go on, not end the optimization there. The flow and the mesh
motion are closed-form fakes (the drag of optimization_fakes, whose optimum at the lift
target lies at a twist of 1 deg), and the mesh refuses to move beyond a twist of 0.6 deg."""

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


class UnusableDesigns(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="orvanta_unusable_")
        self.addCleanup(shutil.rmtree, self.work)

    def problem(self, history):
        slots = [Slot("slot_0", FlowCase(os.path.join(self.work, "slot_0")), io.StringIO())]
        problem = Problem(DesignSpace(ENTRIES, None, 2.0), NoGeometricBounds(), 0.25, Morpher(self.work),
                          FlowCase(os.path.join(self.work, "nominal")), SlotPool(slots), history, io.StringIO(),
                          0.02)
        problem.trim_baseline = False
        return problem

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


if __name__ == "__main__":
    unittest.main()
