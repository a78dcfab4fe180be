"""How much of the aircraft snappyHexMesh covered with prism layers, read from its report in
the mesh log.

The layer pass ends with a table of the layers it added,

    patch    faces    layers   overall thickness
                               [m]       [%]
    -----    -----    ------   ---       ---
    aircraft 2662     1.8      0.0771    80.3

(layers: the mean over the patch's faces), and each of its iterations says how many faces
it extrudes, `Extruding 2564 out of 2662 faces (96.3%)`, counted over all patches that
take layers; the last iteration's count is what the mesh kept.
"""

import re

from orvanta_case.checkmesh_log import NUMBER, split_runs

PATCH = "aircraft"
_LAYER_PHASE = "Shrinking and layer addition phase"
_TABLE_HEADER = re.compile(r"^\s*patch\s+faces\s+layers\s+overall thickness\s*$")
_ROW = re.compile(rf"^\s*(\S+)\s+(\d+)\s+({NUMBER})\s+({NUMBER})\s+({NUMBER})\s*$")
_EXTRUDING = re.compile(r"^Extruding (\d+) out of (\d+) faces")


def _final_table(lines):
    """{patch: (faces, mean layers)} of the last layer table in the lines, or None."""
    header = max((i for i, line in enumerate(lines) if _TABLE_HEADER.match(line)), default=None)
    if header is None:
        return None
    rows = {}
    for line in lines[header + 1:]:
        if not line.strip() or line.strip().startswith(("[", "-")):
            if rows:
                break
            continue
        match = _ROW.match(line)
        if not match:
            break
        rows[match.group(1)] = (int(match.group(2)), float(match.group(3)))
    return rows


def _last_extrusion(lines):
    """(faces extruded, faces that take layers) of the last layer iteration, or None."""
    last = None
    for line in lines:
        match = _EXTRUDING.match(line)
        if match:
            last = (int(match.group(1)), int(match.group(2)))
    return last


def layer_metrics(text):
    """{"layer_coverage_pct", "layers_mean"} of the aircraft from the last snappyHexMesh run
    of a mesh log that had a layer pass; None where the log does not tell (no layer pass, or
    one cut short). The coverage is None too when other patches take layers as well: the
    extrusion count does not say which patch its faces are on."""
    unknown = {"layer_coverage_pct": None, "layers_mean": None}
    runs = [lines for tool, lines in split_runs(text) if tool == "snappyHexMesh"
            and any(line.strip() == _LAYER_PHASE for line in lines)]
    if not runs:
        return unknown
    table = _final_table(runs[-1])
    if not table or PATCH not in table:
        return unknown
    faces, layers = table[PATCH]
    extruded = _last_extrusion(runs[-1])
    coverage = None
    if extruded is not None and extruded[1] == faces and faces > 0:
        coverage = 100.0 * extruded[0] / faces
    return {"layer_coverage_pct": coverage, "layers_mean": layers}
