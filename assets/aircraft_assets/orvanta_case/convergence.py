"""When a steady flow solution has stopped changing: the drag coefficient's spread and drift
over a trailing window of iterations.

The flow driver stops a solve with this rule and the metrics writer reports the same
window's spread, so the two always agree on what "converged" meant.
"""

import math

# Iterations in the trailing window. Long enough to see the slow oscillation a SIMPLE
# solution settles into on snapped meshes, short next to the ~150 iterations the packaged
# aircraft needs to converge.
WINDOW = 50


def window_stats(values):
    """(standard deviation, least-squares slope per iteration) of a sequence of numbers.

    The population standard deviation, as the spread of the values actually seen; the
    slope of the straight line through them against their index."""
    n = len(values)
    if n < 2:
        raise ValueError(f"a window needs at least two values, got {n}")
    mean = sum(values) / n
    deviations = [v - mean for v in values]
    std = math.sqrt(sum(d * d for d in deviations) / n)
    centre = (n - 1) / 2.0
    # Sum of (i - centre)^2 over i = 0..n-1.
    spread = n * (n * n - 1) / 12.0
    slope = sum((i - centre) * d for i, d in enumerate(deviations)) / spread
    return std, slope


def trailing_window(values, window=WINDOW):
    """The last `window` values, or None while fewer have been seen."""
    if window < 2:
        raise ValueError(f"the window must hold at least two iterations, got {window}")
    if len(values) < window:
        return None
    return list(values[-window:])


def is_converged(values, std_tol, slope_tol, window=WINDOW):
    """True once the last `window` values have a standard deviation below `std_tol` and a
    slope of magnitude below `slope_tol`. A value that is not finite never converges."""
    last = trailing_window(values, window)
    if last is None or not all(math.isfinite(v) for v in last):
        return False
    std, slope = window_stats(last)
    return std < std_tol and abs(slope) < slope_tol


class CoefficientMonitor:
    """Follows a solver's output line by line and keeps the force-coefficient histories
    the forceCoeffs function object prints after each iteration."""

    NAMES = {"Cd": "cd", "Cl": "cl", "CmPitch": "cm"}

    def __init__(self, std_tol, slope_tol, window=WINDOW):
        self.std_tol = std_tol
        self.slope_tol = slope_tol
        self.window = window
        self.history = {"cd": [], "cl": [], "cm": []}

    def feed(self, line):
        """Takes one output line; returns True when it completed a drag value."""
        parsed = parse_coefficient_line(line)
        if parsed is None:
            return False
        name, value = parsed
        self.history[self.NAMES[name]].append(value)
        return name == "Cd"

    def converged(self):
        return is_converged(self.history["cd"], self.std_tol, self.slope_tol, self.window)

    def last(self, key):
        values = self.history[key]
        return values[-1] if values else None


def parse_coefficient_line(line):
    """("Cd" | "Cl" | "CmPitch", value) of a forceCoeffs line such as
    `        Cd       : 0.0251<TAB>(pressure: ...)`, else None. Component lines like
    `Cd(f)` and other coefficients (Cs, CmRoll) are not matched."""
    head, sep, rest = line.partition(":")
    if not sep:
        return None
    name = head.strip()
    if name not in CoefficientMonitor.NAMES:
        return None
    words = rest.split()
    if not words:
        return None
    try:
        return name, float(words[0])
    except ValueError:
        return None
