"""A closed swept wing (both halves, through y = 0) and a closed fuselage, as one ASCII STL.

Stands in for an exported aircraft in the meshing tests: the two solids overlap where the
wing passes through the fuselage, as the parts of an exported model do, and the wing has
the sharp trailing edges, tips and curved leading edges that the refinement levels target.
Prints the wing's reference length (mean aerodynamic chord) as JSON.
"""

import argparse
import json
import math

import numpy as np


def naca4(code, n_chord):
    """Upper and lower surface of a NACA 4-digit section, leading to trailing edge, closed TE."""
    m, p, t = int(code[0]) / 100.0, int(code[1]) / 10.0, int(code[2:]) / 100.0
    beta = np.linspace(0.0, math.pi, n_chord)
    x = 0.5 * (1.0 - np.cos(beta))
    yt = 5 * t * (0.2969 * np.sqrt(x) - 0.1260 * x - 0.3516 * x**2 + 0.2843 * x**3 - 0.1036 * x**4)
    if m > 0:
        yc = np.where(x < p, m / p**2 * (2 * p * x - x**2), m / (1 - p) ** 2 * (1 - 2 * p + 2 * p * x - x**2))
        dyc = np.where(x < p, 2 * m / p**2 * (p - x), 2 * m / (1 - p) ** 2 * (p - x))
    else:
        yc = np.zeros_like(x)
        dyc = np.zeros_like(x)
    theta = np.arctan(dyc)
    upper = np.column_stack([x - yt * np.sin(theta), yc + yt * np.cos(theta)])
    lower = np.column_stack([x + yt * np.sin(theta), yc - yt * np.cos(theta)])
    upper[-1] = lower[-1] = [1.0, 0.0]
    return upper, lower


class Wing:
    def __init__(self, args):
        self.root_chord = args.root_chord
        self.taper = args.taper
        self.semi_span = args.semi_span
        self.sweep = math.radians(args.sweep)
        self.dihedral = math.radians(args.dihedral)
        self.origin = np.array([args.wing_x, 0.0, args.wing_z])

    def mean_aerodynamic_chord(self):
        lam = self.taper
        return 2.0 / 3.0 * self.root_chord * (1 + lam + lam * lam) / (1 + lam)

    def section(self, y, profile):
        """Places a unit-chord profile (x, z) at span station y."""
        s = abs(y) / self.semi_span
        chord = self.root_chord * (1 - s * (1 - self.taper))
        le = self.origin + np.array([abs(y) * math.tan(self.sweep), y, abs(y) * math.tan(self.dihedral)])
        return np.column_stack([le[0] + chord * profile[:, 0], np.full(len(profile), y), le[2] + chord * profile[:, 1]])


def quad_strip(a, b):
    """Triangles between two matching polylines a[i] and b[i]."""
    tris = []
    for i in range(len(a) - 1):
        tris.append((a[i], a[i + 1], b[i + 1]))
        tris.append((a[i], b[i + 1], b[i]))
    return tris


def degenerate(tri):
    """Triangles without area (at the fuselage poles, the tips' leading and trailing edges)."""
    return np.linalg.norm(np.cross(tri[1] - tri[0], tri[2] - tri[0])) < 1e-14


def wing_triangles(wing, n_chord, n_span):
    upper, lower = naca4("2412", n_chord)
    # Spanwise stations clustered towards the tips, symmetric about y = 0.
    u = np.sin(np.linspace(0.0, math.pi / 2, n_span))
    ys = np.concatenate([-wing.semi_span * u[::-1], wing.semi_span * u[1:]])
    ups = [wing.section(y, upper) for y in ys]
    los = [wing.section(y, lower) for y in ys]
    tris = []
    for k in range(len(ys) - 1):
        tris += quad_strip(ups[k], ups[k + 1])  # outward normals: up on the upper side
        tris += quad_strip(los[k + 1], los[k])
    # Flat tip caps: strips between the upper and lower points of matching chord station.
    tris += quad_strip(los[0], ups[0])
    tris += quad_strip(ups[-1], los[-1])
    return [t for t in tris if not degenerate(t)]


def fuselage_triangles(args, n_axial, n_around):
    length, radius = args.fuselage_length, args.fuselage_radius
    t = np.linspace(0.0, 1.0, n_axial)
    x = args.fuselage_x + length * t
    nose, tail = 0.2, 0.65
    nose_r = radius * np.sqrt(np.clip(1 - ((nose - t) / nose) ** 2, 0, 1))
    tail_r = radius * (1 - np.clip((t - tail) / (1 - tail), 0, 1) ** 1.5)
    r = np.where(t < nose, nose_r, np.where(t > tail, tail_r, radius))
    r[0] = r[-1] = 0.0
    phi = np.linspace(0.0, 2 * math.pi, n_around + 1)
    # "+ 0.0" turns -0.0 into 0.0 so that the pole points are written identically.
    rings = [np.column_stack([np.full(n_around + 1, xi), ri * np.cos(phi), ri * np.sin(phi)]) + 0.0
             for xi, ri in zip(x, r)]
    for ring in rings:
        ring[-1] = ring[0]  # close the seam exactly, not to within sin(2 pi)
    tris = []
    for k in range(n_axial - 1):
        for tri in quad_strip(rings[k], rings[k + 1]):
            if not degenerate(tri):
                tris.append(tri)
    return tris


def write_ascii_stl(path, triangles, name):
    with open(path, "w", encoding="ascii") as f:
        f.write(f"solid {name}\n")
        for a, b, c in triangles:
            n = np.cross(b - a, c - a)
            n = n / (np.linalg.norm(n) or 1.0)
            f.write(f"  facet normal {n[0]:.6e} {n[1]:.6e} {n[2]:.6e}\n    outer loop\n")
            for p in (a, b, c):
                f.write(f"      vertex {p[0]:.8e} {p[1]:.8e} {p[2]:.8e}\n")
            f.write("    endloop\n  endfacet\n")
        f.write(f"endsolid {name}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", required=True)
    parser.add_argument("--root-chord", type=float, default=1.0)
    parser.add_argument("--taper", type=float, default=0.4)
    parser.add_argument("--semi-span", type=float, default=2.5)
    parser.add_argument("--sweep", type=float, default=25.0, help="leading-edge sweep, degrees")
    parser.add_argument("--dihedral", type=float, default=4.0, help="degrees")
    parser.add_argument("--wing-x", type=float, default=0.0)
    parser.add_argument("--wing-z", type=float, default=-0.12)
    parser.add_argument("--fuselage-x", type=float, default=-1.4)
    parser.add_argument("--fuselage-length", type=float, default=4.5)
    parser.add_argument("--fuselage-radius", type=float, default=0.3)
    parser.add_argument("--reference-length", type=float, default=None,
                        help="scale the whole aircraft so that the wing's mean aerodynamic chord is this long")
    parser.add_argument("--n-chord", type=int, default=61)
    parser.add_argument("--n-span", type=int, default=31)
    args = parser.parse_args()

    wing = Wing(args)
    triangles = wing_triangles(wing, args.n_chord, args.n_span) + fuselage_triangles(args, 90, 48)
    scale = 1.0
    if args.reference_length is not None:
        scale = args.reference_length / wing.mean_aerodynamic_chord()
        triangles = [tuple(scale * p for p in tri) for tri in triangles]
    write_ascii_stl(args.output, triangles, "aircraft")
    print(json.dumps({"reference_length": scale * wing.mean_aerodynamic_chord(), "triangles": len(triangles)}))


if __name__ == "__main__":
    main()
