#!/usr/bin/env python3
"""How much drag twist alone can save on a wing, by Prandtl's lifting line.

    python3 bench/twist_potential.py [--cl 0.5] [--cd 0.0348] [model.vsp3]

Reads the wing's stations (span position, chord, twist) from the geometry engine
(`orvanta vsp info`, ORVANTA_BIN or build/apps/orvanta/orvanta), solves Glauert's monoplane
equation for the baseline twist and for the twists of the outboard stations that maximise the
span efficiency (the root's incidence is the angle of attack), and reports both span
efficiencies and what the induced drag difference at the lift coefficient is worth against a
total drag CD. Section lift slope 2 pi, no sweep or compressibility: a bound for what a twist
optimization can find, not a prediction of the flow.
"""

import argparse
import json
import math
import os
import subprocess
import sys

import numpy as np
from scipy.optimize import minimize

HERE = os.path.dirname(os.path.abspath(__file__))


def stations(model):
    """[(y, chord, twist)] of the wing's cross-sections, root first, from the model's panels."""
    exe = os.environ.get("ORVANTA_BIN") or os.path.join(HERE, "..", "build", "apps", "orvanta", "orvanta")
    info = json.loads(subprocess.run([exe, "vsp", "info", model], check=True, capture_output=True,
                                     text=True).stdout)
    params = next(c for c in info["components"] if c.get("name") == "Wing")["parameters"]
    panels = sorted(int(k.split("_")[1]) for k in params if k.startswith("XSec_") and k.split("_")[1].isdigit())
    out = [(0.0, params["XSec_1"]["Root_Chord"], params["XSec_0"]["Twist"])]
    for i in panels[1:]:
        p = params[f"XSec_{i}"]
        out.append((out[-1][0] + p["Span"], p["Tip_Chord"], p["Twist"]))
    return out


def load_coefficients(eta, chords, alpha_deg, semi_span, n_terms=40):
    """Glauert's odd Fourier coefficients of the symmetric span load for chord and angle (deg,
    from zero lift) piecewise linear in eta = y / semi-span: at each station theta,
    sum A_n sin(n theta) (mu n + sin theta) = mu alpha sin theta, mu = 2 pi c / (4 b)."""
    theta = np.linspace(0.0, math.pi / 2, n_terms + 1)[1:]
    y = np.cos(theta)
    mu = 2.0 * math.pi * np.interp(y, eta, chords) / (4.0 * 2.0 * semi_span)
    alpha = np.radians(np.interp(y, eta, alpha_deg))
    n = 2 * np.arange(n_terms) + 1
    matrix = np.sin(np.outer(theta, n)) * (mu[:, None] * n[None, :] + np.sin(theta)[:, None])
    return n, np.linalg.solve(matrix, mu * alpha * np.sin(theta))


def span_efficiency(eta, chords, twists, semi_span, cl, aspect):
    """Span efficiency at lift coefficient cl: the angle of attack is set so that
    pi A A_1 = cl (the load is linear in the angle: a flat part plus the twist's part)."""
    n, flat = load_coefficients(eta, chords, np.ones_like(eta), semi_span)
    _, twisted = load_coefficients(eta, chords, twists, semi_span)
    alpha_deg = (cl / (math.pi * aspect) - twisted[0]) / flat[0]
    a = alpha_deg * flat + twisted
    return 1.0 / (1.0 + float(np.sum(n[1:] * (a[1:] / a[0]) ** 2)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("model", nargs="?", default=os.path.join(HERE, "..", "assets", "aircraft_assets",
                                                                  "aircraft.vsp3"))
    parser.add_argument("--cl", type=float, default=0.5)
    parser.add_argument("--cd", type=float, default=0.0348, help="total drag to compare with")
    args = parser.parse_args()
    table = stations(args.model)
    semi_span = table[-1][0]
    eta = np.array([s[0] for s in table]) / semi_span
    chords = np.array([s[1] for s in table])
    twists = np.array([s[2] for s in table])
    area = 2.0 * np.trapz(chords, eta * semi_span)
    aspect = (2.0 * semi_span) ** 2 / area
    e0 = span_efficiency(eta, chords, twists, semi_span, args.cl, aspect)
    best = minimize(lambda t: -span_efficiency(eta, chords, np.concatenate([twists[:1], t]), semi_span, args.cl,
                                               aspect),
                    twists[1:], method="Nelder-Mead", options={"xatol": 1e-4, "fatol": 1e-9})
    e1 = -best.fun
    cdi = [args.cl ** 2 / (math.pi * aspect * e) for e in (e0, e1)]
    print(f"wing: semi-span {semi_span:.4g} m, aspect ratio {aspect:.4g}, stations {len(table)}")
    print(f"baseline twists {', '.join(f'{t:g}' for t in twists)} deg: span efficiency {e0:.4f}, "
          f"CDi {cdi[0]:.6f} at CL {args.cl:g}")
    print(f"best outboard twists {', '.join(f'{t:.3g}' for t in best.x)} deg: span efficiency {e1:.4f}, "
          f"CDi {cdi[1]:.6f}")
    print(f"twist alone can save {cdi[0] - cdi[1]:.2e} in CD, {100 * (cdi[0] - cdi[1]) / args.cd:.2f} % of CD "
          f"{args.cd:g}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
