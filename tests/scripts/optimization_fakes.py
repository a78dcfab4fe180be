"""An optimization problem with the driver's Problem interface whose "flow solution" is a
closed-form function, so the optimizers, the history, the logs, the metrics and the
figures can be exercised in milliseconds.

    CD(t, a) = 0.03 + 0.002 (t - 1.5)^2 + 0.0004 a^2,   CL(t, a) = 0.1 a + 0.02 t

with t a twist-like shape variable and a the angle of attack (physical units); one
geometric ratio 1 - 0.1 t must stay >= 0.9. At CL = 0.25 the optimum has t = 1 (the
ratio's bound, not the drag's own optimum t = 1.5) and a = 2.3: scaled by the
ranges (twist +-5 deg around 0, angle +-10 deg around 2), x = (0.2, 0.03). The baseline
(t = 0, a = 2) falls short of the lift by 0.05 and has 10 % more drag.
"""

import time
from dataclasses import dataclass

import numpy as np

import case_scripts  # noqa: F401 - puts the case package on the path
from orvanta_case.optimization.design_space import DesignSpace


@dataclass
class FakeFlow:
    angle_of_attack: float
    cd: float
    cl: float
    cm: float = -0.05
    cd_std: float = 1e-7
    cl_std: float = 1e-6
    iterations: int = 80
    converged: bool = True
    seconds: float = 0.01


@dataclass
class FakeDesign:
    index: int
    id: int
    x: np.ndarray
    flow: FakeFlow
    ratios: np.ndarray
    objective: float
    constraints: np.ndarray
    feasibility: float


class FakeGeometric:
    labels = ["thickness ratio"]
    group_bounds = {"thickness": 0.9}
    disabled = ["le_radius", "volume"]

    def __len__(self):
        return 1

    def lower_bounds(self):
        return np.array([0.9])

    def summary(self, ratios):
        return {"thickness": float(ratios[0])}


ENTRIES = {"Wing:XSec_1:Twist": {"parameters": ["XSec_1:Twist"], "values": [0.0], "lower": [-180.0],
                                 "upper": [180.0]}}


class FakeProblem:
    def __init__(self, history, lift_target=0.25):
        self.space = DesignSpace(ENTRIES, None, 2.0)
        self.geometric = FakeGeometric()
        self.lift_target, self.lift_scale = lift_target, 0.5
        self.history = history
        self.designs, self.gradients = {}, {}
        self.primal_solves, self.started, self.cd0 = 0, time.time(), None
        self.fd_step, self._last, self.messages = 0.02, None, []
        self.objective_scale = 1.0

    def say(self, message):
        self.messages.append(message)

    @staticmethod
    def key(x):
        return np.asarray(x, dtype=float).tobytes()

    def _physics(self, x):
        t, a = self.space.physical(x)
        return 0.03 + 0.002 * (t - 1.5) ** 2 + 0.0004 * a * a, 0.1 * a + 0.02 * t, np.array([1.0 - 0.1 * t])

    def evaluate(self, x):
        x = np.array(x, dtype=float)
        k = self.key(x)
        if k not in self.designs:
            cd, cl, ratios = self._physics(x)
            self.primal_solves += 1
            if self.cd0 is None:
                self.cd0 = cd
            constraints = np.concatenate([[(cl - self.lift_target) / self.lift_scale], ratios - 0.9])
            feasibility = max(abs(cl - self.lift_target), max(0.0, 0.9 - ratios[0]))
            flow = FakeFlow(self.space.angle_of_attack(x), cd, cl)
            record = {"design": self.space.all_values(x), "x": list(map(float, x)),
                      "angle_of_attack": flow.angle_of_attack, "cd": cd, "cl": cl, "cm": flow.cm,
                      "cd_std": flow.cd_std, "cl_std": flow.cl_std, "objective": cd / self.cd0,
                      "constraints": list(map(float, constraints)), "geometry": {"thickness": float(ratios[0])},
                      "feasibility": feasibility, "primal_converged": 1, "primal_iterations": 80,
                      "primal_seconds": 0.01, "primal_solves": self.primal_solves,
                      "wall_time": time.time() - self.started}
            hid = self.history.add_evaluation(record) if self.history else len(self.designs) + 1
            self._last = self.designs[k] = FakeDesign(len(self.designs), hid, x, flow, ratios, cd / self.cd0,
                                                      constraints, feasibility)
        return self.designs[k]

    def objective(self, x):
        return self.evaluate(x).objective

    def constraints(self, x):
        return self.evaluate(x).constraints

    def _gradient(self, x):
        d = self.evaluate(x)
        k = self.key(x)
        if k not in self.gradients:
            t, a = self.space.physical(x)
            hw = np.array([v.half_width for v in self.space.variables])
            dcd = np.array([0.004 * (t - 1.5), 0.0008 * a]) * hw
            dcl = np.array([0.02, 0.1]) * hw
            dratio = np.array([-0.1, 0.0]) * hw
            self.gradients[k] = (dcd / self.cd0, np.vstack([dcl / self.lift_scale, dratio]))
            self.primal_solves += len(x)
            if self.history:
                self.history.add_gradient(d.id, "exact", self.gradients[k][0], self.gradients[k][1],
                                          [self.fd_step] * len(x), len(x), 0.0, self.primal_solves)
        return self.gradients[k]

    def gradient(self, x):
        return self._gradient(x)[0]

    def jacobian(self, x):
        return self._gradient(x)[1]

    def constraint_bounds(self, infinity):
        return np.zeros(2), np.array([0.0, infinity])
