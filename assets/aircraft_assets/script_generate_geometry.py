#!/usr/bin/env python3
"""Exports the case's OpenVSP model to the STL surface the mesher reads.

Run in a case directory as `python script_generate_geometry.py`. The geometry itself is
made by orvanta's geometry engine (`$ORVANTA_BIN vsp export-stl aircraft.vsp3 aircraft.stl`),
so that the model is read and tessellated by one implementation only; this script runs it,
checks that the surface it wrote is closed, and reports what happened.
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


def main():
    parser = argparse.ArgumentParser(description="Export the case's OpenVSP model as an STL surface.")
    parser.add_argument("--vsp3", default="aircraft.vsp3", help="OpenVSP model (default: aircraft.vsp3)")
    parser.add_argument("--stl", default="aircraft.stl", help="STL file to write (default: aircraft.stl)")
    args = parser.parse_args()
    try:
        export_stl(args.vsp3, args.stl)
    except RuntimeError as error:
        print("script_generate_geometry.py: error: {}".format(error), file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
