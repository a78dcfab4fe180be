"""Geometric constraints of a design, measured by the geometry engine and compared with the
baseline: every section's thickness at each chord station, every section's leading-edge
radius and the wing's volume, each as a ratio to its baseline value that must stay at or
above a lower bound. A negative bound disables its group.
"""

import numpy as np

GROUPS = ("thickness", "le_radius", "volume")


def _group_values(measure, group):
    if group == "thickness":
        return [t for s in measure["sections"] for t in s["thickness"]]
    if group == "le_radius":
        return [s["le_radius"] for s in measure["sections"]]
    return [measure["volume"]]


def _group_labels(measure, group):
    n = len(measure["sections"])
    if group == "thickness":
        return [f"thickness section {i}/{n - 1} at {x:g} chord" for i in range(n) for x in measure["stations"]]
    if group == "le_radius":
        return [f"leading-edge radius section {i}/{n - 1}" for i in range(n)]
    return ["wing volume"]


class GeometricConstraints:
    def __init__(self, baseline_measure, thickness_bound, le_radius_bound, volume_bound):
        bounds = {"thickness": float(thickness_bound), "le_radius": float(le_radius_bound),
                  "volume": float(volume_bound)}
        self.groups = [g for g in GROUPS if bounds[g] >= 0.0]
        self.disabled = [g for g in GROUPS if bounds[g] < 0.0]
        self.group_bounds = {g: bounds[g] for g in self.groups}
        self.baseline = {g: np.array(_group_values(baseline_measure, g), dtype=float) for g in self.groups}
        for g in self.groups:
            if np.any(self.baseline[g] <= 0.0):
                raise ValueError(f"the baseline wing has a {g.replace('_', ' ')} of zero or less; it cannot "
                                 "bound a ratio")
        self.labels = [label for g in self.groups for label in _group_labels(baseline_measure, g)]
        self.group_of = [g for g in self.groups for _ in self.baseline[g]]

    def __len__(self):
        return len(self.labels)

    def ratios(self, measure):
        """Every enabled value divided by its baseline value, groups in order."""
        parts = [np.array(_group_values(measure, g), dtype=float) / self.baseline[g] for g in self.groups]
        return np.concatenate(parts) if parts else np.zeros(0)

    def lower_bounds(self):
        return np.array([self.group_bounds[g] for g in self.group_of], dtype=float)

    def violations(self, ratios):
        """How far each ratio falls short of its bound (0 when satisfied)."""
        return np.maximum(self.lower_bounds() - np.asarray(ratios, dtype=float), 0.0)

    def summary(self, ratios):
        """{group: smallest ratio} for the log and the history."""
        ratios = np.asarray(ratios, dtype=float)
        return {g: float(min(r for r, gg in zip(ratios, self.group_of) if gg == g)) for g in self.groups}
