"""Writes smooth, non-uniform p and U into the 0/ folder of the small block-mesh case, so
the exported boundary surface carries fields that vary along the walls."""

import argparse
import math
import os


HEADER = """FoamFile
{{
    version 2.0;
    format ascii;
    class {cls};
    object {name};
}}
dimensions {dims};
"""


def cell_centres(nx, ny, nz, lx, ly, lz):
    # A single hex block numbers its cells x fastest, then y, then z.
    for k in range(nz):
        for j in range(ny):
            for i in range(nx):
                yield ((i + 0.5) * lx / nx, (j + 0.5) * ly / ny, (k + 0.5) * lz / nz)


def boundary_block(value):
    return ("boundaryField\n{\n"
            "    aircraft { type zeroGradient; }\n"
            "    farfield { type zeroGradient; }\n"
            "    sym { type symmetry; }\n"
            "}\n").replace("VALUE", value)


def write_field(path, name, cls, dims, values):
    with open(path, "w") as f:
        f.write(HEADER.format(cls=cls, name=name, dims=dims))
        f.write("internalField nonuniform List<%s>\n%d\n(\n" % (
            "scalar" if cls == "volScalarField" else "vector", len(values)))
        f.write("\n".join(values))
        f.write("\n);\n")
        f.write(boundary_block(""))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--case", required=True)
    parser.add_argument("--cells", type=int, nargs=3, default=[16, 8, 4])
    parser.add_argument("--size", type=float, nargs=3, default=[2.0, 1.0, 0.5])
    parser.add_argument("--mach", type=float, default=0.3)
    parser.add_argument("--bump", type=float, default=0.0,
                        help="extra pressure wave amplitude, to tell two designs apart")
    args = parser.parse_args()

    u0 = args.mach * math.sqrt(1.4 * 287.05 * 288.15)
    q = 0.5 * 1.4 * 101325.0 * args.mach ** 2
    p, u = [], []
    for x, y, z in cell_centres(*args.cells, *args.size):
        cp = 0.8 * math.cos(math.pi * x) * (1.0 - 0.6 * y) + args.bump * math.sin(3 * math.pi * x)
        p.append("%.6f" % (101325.0 + cp * q))
        u.append("(%.6f %.6f %.6f)" % (u0 * (1.0 + 0.2 * math.sin(math.pi * x)), 0.1 * u0 * y, 0.02 * u0 * z))
    zero = os.path.join(args.case, "0")
    os.makedirs(zero, exist_ok=True)
    write_field(os.path.join(zero, "p"), "p", "volScalarField", "[1 -1 -2 0 0 0 0]", p)
    write_field(os.path.join(zero, "U"), "U", "volVectorField", "[0 1 -1 0 0 0 0]", u)


if __name__ == "__main__":
    main()
