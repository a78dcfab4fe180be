#!/usr/bin/env python3
"""Writes the packaged aircraft model (assets/aircraft_assets/aircraft.vsp3) in OpenVSP's
own file layout: a small transport-like aircraft in metres with a fuselage and a main wing
named "Wing" (two CST sections), both mirrored about the XZ plane.

Derived values (section areas, totals, CST thickness) are left for the engine to fill in:
run `orvanta vsp update aircraft.vsp3` after this script.
"""

import argparse
import random
import xml.etree.ElementTree as ET

RNG = random.Random(20241208)
USED = set()


def new_id(length):
    while True:
        s = "".join(RNG.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZ") for _ in range(length))
        if s not in USED:
            USED.add(s)
            return s


def text(parent, tag, value):
    e = ET.SubElement(parent, tag)
    e.text = str(value)
    return e


def container(parent, name, groups):
    """A ParmContainer: ID, Name and one element per group, parameters sorted by name."""
    pc = ET.SubElement(parent, "ParmContainer")
    text(pc, "ID", new_id(10))
    text(pc, "Name", name)
    for group in sorted(groups):
        g = ET.SubElement(pc, group)
        for parm in sorted(groups[group]):
            ET.SubElement(g, parm, Value="%.18e" % float(groups[group][parm]), ID=new_id(11))
    return pc


COMMON_GROUPS = {
    "Attach": {"Rots_Attach_Flag": 0, "Trans_Attach_Flag": 0, "U_Attach_Location": 1e-6, "V_Attach_Location": 1e-6},
    "BBox": {"X_Len": 0, "X_Min": 0, "Y_Len": 0, "Y_Min": 0, "Z_Len": 0, "Z_Min": 0},
    "Mass_Props": {"Density": 1, "Mass_Area": 1, "Mass_Prior": 0, "Shell_Flag": 0},
    "Negative_Volume_Props": {"Negative_Volume_Flag": 0},
    "ParasiteDragProps": {"ExpandedList": 0, "FFBodyEqnType": 3, "FFUser": 1, "FFWingEqnType": 3,
                          "IncorporatedGen": 0, "PercLam": 0, "Q": 1, "Roughness": 0, "TawTwRatio": 1,
                          "TeTwRatio": 1},
    "Sym": {"Sym_Ancestor": 1, "Sym_Ancestor_Origin_Flag": 1, "Sym_Axial_Flag": 0, "Sym_Planar_Flag": 2,
            "Sym_Rot_N": 2},
    "WakeSettings": {"WakeAngle": 0, "WakeScale": 2},
}


def xform(x, y, z):
    g = {"Abs_Or_Relitive_flag": 1, "Last_Scale": 1, "Origin": 0, "Scale": 1}
    for axis, v in zip("XYZ", (x, y, z)):
        g[axis + "_Location"] = v
        g[axis + "_Rel_Location"] = v
        g[axis + "_Rotation"] = 0
        g[axis + "_Rel_Rotation"] = 0
    return g


def end_cap(option, tess):
    g = {}
    for end in ("UMin", "UMax"):
        g.update({"Cap%sLength" % end: 1, "Cap%sOffset" % end: 0, "Cap%sOption" % end: option,
                  "Cap%sStrength" % end: 0.5, "Cap%sSweepFlag" % end: 0})
    g["CapUMinTess"] = tess
    return g


def curve_modifier_groups():
    groups = {
        "Cap": {p + s: v for p in ("LE_Cap_", "TE_Cap_")
                for s, v in (("Length", 1), ("Offset", 0), ("Strength", 0.5), ("Type", 0))},
        "Close": {p + s: 0 for p in ("LE_Close_", "TE_Close_") for s in ("AbsRel", "Thick", "Thick_Chord", "Type")},
        "Trim": {p + s: 0 for p in ("LE_Trim_", "TE_Trim_")
                 for s in ("AbsRel", "Thick", "Thick_Chord", "Type", "X", "X_Chord")},
        "XSecCurve_Background": {"XSecFlipImageFlag": 0, "XSecImageFlag": 0, "XSecImageH": 1,
                                 "XSecImagePreserveAR": 1, "XSecImageW": 1, "XSecImageXOffset": 0,
                                 "XSecImageYOffset": 0, "XSecLockImageFlag": 0},
    }
    return groups


def geom(vehicle, name, type_name, type_id, groups):
    g = ET.SubElement(vehicle, "Geom")
    pc = container(g, name, groups)
    base = ET.SubElement(g, "GeomBase")
    text(base, "TypeName", type_name)
    text(base, "TypeID", type_id)
    text(base, "TypeFixed", 0)
    text(base, "ParentID", "NONE")
    ET.SubElement(base, "Child_List")
    material = ET.SubElement(g, "Material")
    text(material, "Name", "Default")
    color = ET.SubElement(g, "Wire_Color")
    container(color, "Default", {"Color_Parm": {"Alpha": 255, "Blue": 255, "Green": 0, "Red": 0}})
    textures = ET.SubElement(g, "Textures")
    text(textures, "Num_of_Tex", 0)
    sets = ET.SubElement(g, "Geom")
    text(sets, "Set_List", "1, 1, 0, " + "0, " * 20)
    ET.SubElement(sets, "SubSurfaces")
    ET.SubElement(sets, "FeaStructures")
    return g, pc


# ---- wing --------------------------------------------------------------------------------

ROOT_CST = ([0.1945, 0.1970, 0.2337, 0.1731, 0.2201, 0.2023], [-0.1521, -0.1060, -0.0948, -0.0947, -0.0719, -0.0745])
TIP_CST = ([0.1781, 0.1874, 0.2161, 0.1654, 0.2057, 0.1913], [-0.1395, -0.0906, -0.0846, -0.0805, -0.0617, -0.0624])


def wing_section(surf, section, cst, chord):
    xs = ET.SubElement(surf, "XSec")
    container(xs, "Default", {"XSec": section})
    inner = ET.SubElement(xs, "XSec")
    text(inner, "Type", 2)
    text(inner, "GroupName", "XSec")
    drivers = ET.SubElement(inner, "DriverGroup")
    text(drivers, "NumVar", 8)
    text(drivers, "NumChoices", 3)
    text(drivers, "ChoiceVec", "1, 5, 6, ")
    curve = ET.SubElement(inner, "XSecCurve")
    counts = ET.SubElement(curve, "CSTAirfoil")
    text(counts, "NumUpCoeff", 10)
    text(counts, "NumLowCoeff", 10)
    upper, lower = cst
    groups = curve_modifier_groups()
    groups["XSecCurve"] = {"Chord": chord, "ContLERad": 0, "DeltaX": 0, "DeltaY": 0, "FitDegree": 7,
                           "Invert": 0, "LowDegree": len(lower) - 1, "Scale": 1, "ShiftLE": 0, "Theta": 0,
                           "ThickChord": 0.12, "UpDegree": len(upper) - 1}
    groups["UpperCoeff"] = {"Au_%d" % i: (upper[i] if i < len(upper) else 0.0) for i in range(10)}
    groups["LowerCoeff"] = {"Al_%d" % i: (lower[i] if i < len(lower) else 0.0) for i in range(10)}
    container(curve, "Default", groups)
    kind = ET.SubElement(curve, "XSecCurve")
    text(kind, "Type", 13)
    text(kind, "GroupName", "XSecCurve")


def section_parms(span, root, tip, sweep, dihedral, twist, tess, out_cluster):
    p = {"Area": span * (root + tip) / 2, "Aspect": 2 * span / (root + tip), "Avg_Chord": (root + tip) / 2,
         "Dihedral": dihedral, "InCluster": 1, "OutCluster": out_cluster, "ProjectedSpan": 0,
         "Root_Chord": root, "RotateMatchDideralFlag": 0, "Sec_Sweep": 0, "Sec_Sweep_Location": 1,
         "SectTess_U": tess, "Span": span, "Sweep": sweep, "Sweep_Location": 0, "Taper": tip / root,
         "Tip_Chord": tip, "Twist": twist, "Twist_Location": 0.25}
    for side in ("In", "Out"):
        for edge in ("LE", "TE"):
            p.update({side + edge + "Dihedral": 0, side + edge + "Mode": 0, side + edge + "Strength": 1,
                      side + edge + "Sweep": 0})
    return p


def add_wing(vehicle):
    groups = dict(COMMON_GROUPS)
    groups.update({
        "EndCap": end_cap(1, 3),
        "Index": {"ActiveAirfoil": 1, "ActiveXSec": 1},
        "Shape": {"Tess_U": 16, "Tess_W": 81, "Wake": 0},
        "WingGeom": {"CorrectAirfoilthicknessFlag": 0, "CurvedArea": 0, "LECluster": 0.25, "MAC": 0,
                     "MaxGrowth": 1.4, "RelativeDihedralFlag": 0, "RelativeTwistFlag": 0,
                     "RotateAirfoilMatchDideralFlag": 0, "SmallPanelW": 0, "TECluster": 0.25, "TotalAR": 0,
                     "TotalArea": 0, "TotalChord": 0, "TotalProjectedSpan": 0, "TotalSpan": 0},
        "XForm": xform(4.3, 0.0, -0.45),
    })
    g, _ = geom(vehicle, "Wing", "Wing", 5, groups)
    typed = ET.SubElement(g, "WingGeom")
    container(typed, "Default", {})
    surf = ET.SubElement(typed, "XSecSurf")
    wing_section(surf, section_parms(1.0, 1.0, 2.0, 0.0, 0.0, 0.0, 6, 1.0), ROOT_CST, 2.0)
    wing_section(surf, section_parms(6.0, 2.0, 0.8, 22.0, 4.0, -2.0, 36, 0.4), TIP_CST, 0.8)


# ---- fuselage ----------------------------------------------------------------------------

SIDES = ("Top", "Right", "Bottom", "Left")


def fuselage_section_parms(x, z, angle_in, angle_out, strength, angle_set, tess):
    p = {"AllSym": 1, "RLSym": 1, "TBSym": 1, "RefLength": 12.0, "SectTess_U": tess, "Spin": 0,
         "XLocPercent": x, "XRotate": 0, "YLocPercent": 0, "YRotate": 0, "ZLocPercent": z, "ZRotate": 0}
    for side in SIDES:
        p["Continuity" + side] = 0
        for eq in ("Angle", "Curve", "Slew", "Strength"):
            p[side + "LR" + eq + "Eq"] = 0
        for lr, angle in (("L", angle_in), ("R", angle_out)):
            p.update({side + lr + "Angle": angle, side + lr + "AngleSet": angle_set, side + lr + "Curve": 0,
                      side + lr + "CurveSet": 0, side + lr + "Slew": 0, side + lr + "SlewSet": 0,
                      side + lr + "Strength": strength, side + lr + "StrengthSet": angle_set})
    return p


def fuselage_section(surf, parms, width, height):
    xs = ET.SubElement(surf, "XSec")
    container(xs, "Default", {"XSec": parms})
    inner = ET.SubElement(xs, "XSec")
    text(inner, "Type", 0)
    text(inner, "GroupName", "XSec")
    curve = ET.SubElement(inner, "XSecCurve")
    groups = curve_modifier_groups()
    if width > 0:
        groups["XSecCurve"] = {"Area": 3.14159265358979 * width * height / 4, "DeltaX": 0, "DeltaY": 0,
                               "Ellipse_Height": height, "Ellipse_Width": width, "HWRatio": height / width,
                               "Scale": 1, "ShiftLE": 0, "Theta": 0}
    else:
        groups["XSecCurve"] = {"Area": 0, "DeltaX": 0, "DeltaY": 0, "HWRatio": 1, "Scale": 1, "ShiftLE": 0,
                               "Theta": 0}
    container(curve, "Default", groups)
    kind = ET.SubElement(curve, "XSecCurve")
    text(kind, "Type", 2 if width > 0 else 0)
    driver = ET.SubElement(kind, "XSecCurveDriverGroup")
    text(driver, "NumVar", 4)
    text(driver, "NumChoices", 2)
    text(driver, "ChoiceVec", "0, 2, ")


# (x / length, z / length, width, height, angle in, angle out, strength, angle set, points to here)
FUSELAGE = [
    (0.00, -0.004, 0.0, 0.0, 90.0, 90.0, 0.55, 1, 6),
    (0.07, -0.002, 1.10, 1.15, 0.0, 0.0, 1.0, 0, 8),
    (0.20, 0.0, 1.50, 1.60, 0.0, 0.0, 1.0, 1, 8),
    (0.62, 0.0, 1.50, 1.60, 0.0, 0.0, 1.0, 1, 16),
    (0.88, 0.022, 0.70, 0.80, 0.0, 0.0, 1.0, 0, 10),
    (1.00, 0.034, 0.0, 0.0, -12.0, -12.0, 0.6, 1, 6),
]


def add_fuselage(vehicle):
    groups = dict(COMMON_GROUPS)
    groups.update({
        "Design": {"Length": 12.0, "OrderPolicy": 0},
        "EndCap": end_cap(0, 3),
        "Index": {"ActiveXSec": 0},
        "Shape": {"Tess_U": 16, "Tess_W": 41, "Wake": 0},
        "XForm": xform(0.0, 0.0, 0.0),
    })
    g, _ = geom(vehicle, "Fuselage", "Fuselage", 4, groups)
    typed = ET.SubElement(g, "FuselageGeom")
    container(typed, "Default", {})
    surf = ET.SubElement(typed, "XSecSurf")
    for x, z, w, h, a_in, a_out, strength, angle_set, tess in FUSELAGE:
        fuselage_section(surf, fuselage_section_parms(x, z, a_in, a_out, strength, angle_set, tess), w, h)


def vehicle_groups():
    return {
        "BBox": {"X_Len": 0, "X_Min": 0, "Y_Len": 0, "Y_Min": 0, "Z_Len": 0, "Z_Min": 0},
        "STLSettings": {"ExportPropMainSurf": 0, "MultiSolid": 0},
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="path of the .vsp3 file to write")
    args = parser.parse_args()
    root = ET.Element("Vsp_Geometry")
    text(root, "Version", 5)
    vehicle = ET.SubElement(root, "Vehicle")
    container(vehicle, "Vehicle", vehicle_groups())
    add_fuselage(vehicle)
    add_wing(vehicle)
    for tag in ("Materials", "LinkMgr", "AdvLinkMgr"):
        ET.SubElement(root, tag)
    ET.indent(root, space="  ")
    with open(args.output, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?>\n')
        f.write(ET.tostring(root, encoding="unicode"))
        f.write("\n")
    print("Wrote " + args.output)


if __name__ == "__main__":
    main()
