#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: the real sample models and the packaged aircraft with
the elements the engine ignores removed, so that seeds are small and mutations land on what
the reader interprets."""

import argparse
import os
import xml.etree.ElementTree as ET

IGNORED_GROUPS = {"ParasiteDragProps", "Mass_Props", "Negative_Volume_Props", "WakeSettings", "BBox", "Index",
                  "Cap", "Close", "Trim", "Chevron", "XSecCurve_Background", "Attach", "AdjustView"}
IGNORED_ELEMENTS = {"Material", "Wire_Color", "Textures", "Lights", "Measure"}
# Parameters the engine reads nothing from (skinning curvature and slew, LE/TE blending, ...).
IGNORED_PARM_WORDS = ("Curve", "Slew", "Eq", "Continuity", "InLE", "InTE", "OutLE", "OutTE", "FitDegree",
                      "ShiftLE", "_Location", "_Rotation", "Wake", "IdealCl", "HWRatio")


def ignored_parm(element):
    return element.get("Value") is not None and any(word in element.tag for word in IGNORED_PARM_WORDS) \
        and "_Rel_" not in element.tag and element.tag not in ("Sweep_Location", "Sec_Sweep_Location", "Twist_Location")


def strip(element):
    for child in list(element):
        if child.tag in IGNORED_ELEMENTS or (element.tag == "ParmContainer" and child.tag in IGNORED_GROUPS) \
                or ignored_parm(child):
            element.remove(child)
        else:
            strip(child)


def seed(source, target):
    root = ET.parse(source).getroot()
    for child in list(root):
        if child.tag not in ("Version", "Vehicle"):
            root.remove(child)
    vehicle_parms = root.find("Vehicle/ParmContainer")
    if vehicle_parms is not None:
        for group in list(vehicle_parms):
            if group.tag not in ("ID", "Name", "STLSettings"):
                vehicle_parms.remove(group)
    strip(root)
    for e in root.iter():
        if e.text is not None and not e.text.strip():
            e.text = None
        e.tail = None
    with open(target, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?>\n' + ET.tostring(root, encoding="unicode") + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="corpus directory")
    parser.add_argument("models", nargs="+", help=".vsp3 files to derive seeds from")
    args = parser.parse_args()
    os.makedirs(args.output, exist_ok=True)
    for model in args.models:
        target = os.path.join(args.output, os.path.basename(model))
        seed(model, target)
        print("{}: {} bytes".format(target, os.path.getsize(target)))


if __name__ == "__main__":
    main()
