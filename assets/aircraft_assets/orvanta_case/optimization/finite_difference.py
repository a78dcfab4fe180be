"""Finite-difference gradients of a design's averaged force coefficients.

Each variable is stepped once (forward differences; `central` steps both ways) by a fixed
fraction of its range; a step that would leave the range goes the other way. Every
perturbed design is solved warm-started from the design's own converged fields, and
solves run side by side, one per core: a steady solve's parallel efficiency on two ranks is
well below two, so two one-rank solves finish sooner than two two-rank solves in turn.
"""

import queue
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass

import numpy as np


@dataclass
class Perturbation:
    variable: int
    step: float  # in scaled units, signed


def plan(x, upper, step, central=False):
    """The perturbations of a gradient at x: one per variable (two with `central`)."""
    out = []
    for k, (xk, hi) in enumerate(zip(x, upper)):
        if central:
            out.extend([Perturbation(k, step), Perturbation(k, -step)])
        else:
            out.append(Perturbation(k, step if xk + step <= hi + 1e-12 else -step))
    return out


def differences(base_values, perturbations, results, n_variables, central=False):
    """Gradient rows (one per quantity) from the perturbed values: results[i] is the vector
    of quantities at perturbation i, base_values at the unperturbed design."""
    base = np.asarray(base_values, dtype=float)
    grad = np.zeros((len(base), n_variables))
    if central:
        plus = {p.variable: np.asarray(r, dtype=float) for p, r in zip(perturbations, results) if p.step > 0}
        minus = {p.variable: (np.asarray(r, dtype=float), p.step) for p, r in zip(perturbations, results)
                 if p.step < 0}
        for k in plus:
            lo, h = minus[k]
            grad[:, k] = (plus[k] - lo) / (-2.0 * h)
        return grad
    for p, r in zip(perturbations, results):
        grad[:, p.variable] = (np.asarray(r, dtype=float) - base) / p.step
    return grad


class SlotPool:
    """Workers that each own one slot (a flow case and a mesh-motion folder) and solve
    perturbations in turn."""

    def __init__(self, slots):
        self.slots = list(slots)
        self._free = queue.Queue()
        for s in self.slots:
            self._free.put(s)
        self.lock = threading.Lock()

    def __len__(self):
        return len(self.slots)

    def map(self, task, items):
        """task(slot, item) for every item, len(slots) at a time; results in item order.
        The first exception is raised once every started task has ended."""
        def run(item):
            slot = self._free.get()
            try:
                return task(slot, item)
            finally:
                self._free.put(slot)

        with ThreadPoolExecutor(max_workers=len(self.slots)) as pool:
            futures = [pool.submit(run, item) for item in items]
            began = time.time()
            results = [f.result() for f in futures]
        self.last_seconds = time.time() - began
        return results
