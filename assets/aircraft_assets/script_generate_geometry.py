#!/usr/bin/env python3
"""Exports the case's OpenVSP model to the STL surface the mesher reads.

Run in a case directory as `python script_generate_geometry.py`. The geometry itself is
made by orvanta's geometry engine (`$ORVANTA_BIN vsp export-stl aircraft.vsp3 aircraft.stl`),
so that the model is read and tessellated by one implementation only; this script runs it,
checks that the surface it wrote is closed, and writes the aircraft's mesh sizing
(system/aircraftSizing: first prism-layer height, wake and tip-vortex regions) that the
snappyHexMesh dictionaries include.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys


def orvanta_executable():
    exe = os.environ.get("ORVANTA_BIN") or shutil.which("orvanta")
    if not exe:
        raise RuntimeError("cannot find the orvanta executable: set ORVANTA_BIN or put orvanta on PATH")
    return exe


def run_orvanta(arguments, echo=True):
    command = [orvanta_executable()] + arguments
    print("Running: " + " ".join(command), flush=True)
    try:
        result = subprocess.run(command, capture_output=True, text=True)
    except OSError as error:
        raise RuntimeError("cannot run {}: {}".format(command[0], error.strerror)) from error
    if echo and result.stdout.strip():
        print(result.stdout.strip(), flush=True)
    if result.returncode != 0:
        raise RuntimeError("`{}` failed with exit status {}: {}".format(
            " ".join(command), result.returncode, result.stderr.strip()))
    return result.stdout


def export_stl(vsp3, stl):
    if not os.path.isfile(vsp3):
        raise RuntimeError("the OpenVSP model {} does not exist in {}".format(vsp3, os.getcwd()))
    run_orvanta(["vsp", "export-stl", vsp3, stl])
    if not os.path.isfile(stl):
        raise RuntimeError("the geometry engine reported success but {} was not written".format(stl))
    check = json.loads(run_orvanta(["vsp", "check-stl", stl], echo=False))
    if not check["watertight"]:
        raise RuntimeError("{} is not a closed surface: {} open, {} over-used and {} misoriented edges".format(
            stl, check["open_edges"], check["crowded_edges"], check["misoriented_edges"]))
    print("Exported {} to {}: {} triangles, closed, enclosed volume {:.6g}.".format(
        vsp3, stl, check["triangles"], check["volume"]), flush=True)


def write_mesh_sizing(vsp3, stl, out_file):
    """system/aircraftSizing from the exported surface and the wing's reference geometry."""
    # Imported here: the export itself needs nothing beyond the standard library.
    from orvanta_case import mesh_sizing, surfaces
    geometry = json.loads(run_orvanta(["vsp", "info", vsp3], echo=False))["reference_geometry"]
    values = mesh_sizing.sizing(surfaces.read_stl(stl).points, geometry)
    os.makedirs(os.path.dirname(out_file), exist_ok=True)
    with open(out_file, "w", encoding="utf-8") as f:
        f.write(mesh_sizing.dictionary_text(values, vsp3))
    print("Mesh sizing in {}: reference length {:.6g} m, first layer {:.4g} m (y+ {:g} at Re {:g}).".format(
        out_file, values["referenceLength"], values["firstLayerThickness"], values["targetYPlus"],
        values["designReynolds"]), flush=True)


def main():
    parser = argparse.ArgumentParser(description="Export the case's OpenVSP model as an STL surface.")
    parser.add_argument("--vsp3", default="aircraft.vsp3", help="OpenVSP model (default: aircraft.vsp3)")
    parser.add_argument("--stl", default="aircraft.stl", help="STL file to write (default: aircraft.stl)")
    parser.add_argument("--sizing", default="system/aircraftSizing",
                        help="mesh sizing dictionary to write (default: system/aircraftSizing)")
    parser.add_argument("--sizing-only", action="store_true",
                        help="keep the existing STL and write only the mesh sizing")
    args = parser.parse_args()
    try:
        if not args.sizing_only:
            export_stl(args.vsp3, args.stl)
        write_mesh_sizing(args.vsp3, args.stl, args.sizing)
    except (RuntimeError, ValueError) as error:
        print("script_generate_geometry.py: error: {}".format(error), file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
