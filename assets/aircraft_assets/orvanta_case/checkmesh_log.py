"""Reads the diagnostics of OpenFOAM's checkMesh out of a log that may hold many tools' output.

A mesh log collects blockMesh, snappyHexMesh, reconstructParMesh and more, and checkMesh
may have been appended more than once; only the last checkMesh run describes the mesh as
it is now. Each OpenFOAM tool announces itself in its banner with an `Exec   : <tool>`
line, which is what splits the log into runs.
"""

import re

NUMBER = r"(?:[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?|[-+]?(?:nan|inf))"
_EXEC = re.compile(r"^Exec\s*:\s*(\S+)")
_VALUE = re.compile(rf"^\s*(?P<key>[A-Za-z][A-Za-z ]*?):\s+(?P<value>{NUMBER})\s*$")


def _number(text):
    value = float(text)
    return int(value) if re.fullmatch(r"[-+]?\d+", text) else value


def split_runs(text):
    """The log as a list of (tool name, lines) runs; lines before the first banner are dropped."""
    runs = []
    for line in text.splitlines():
        match = _EXEC.match(line)
        if match:
            runs.append((match.group(1).rsplit("/", 1)[-1], []))
        elif runs:
            runs[-1][1].append(line)
    return runs


def checkmesh_runs(text):
    return [lines for tool, lines in split_runs(text) if tool == "checkMesh"]


def _section_values(lines, heading, names):
    """`name: value` lines of an indented block that follows a heading line."""
    values = {}
    inside = False
    for line in lines:
        if line.strip() == heading:
            inside = True
            continue
        if not inside:
            continue
        match = _VALUE.match(line)
        if match and match.group("key").strip() in names:
            values[match.group("key").strip()] = _number(match.group("value"))
        elif line.strip() and not line.startswith(" "):
            break
    return values


def _patch_table(lines):
    """Rows of the patch topology table: name -> faces, points, topology text."""
    patches = {}
    header = None
    for i, line in enumerate(lines):
        if re.match(r"^\s*Patch\s+Faces\s+Points\s+Surface topology", line):
            header = i
            break
    if header is None:
        return patches
    for line in lines[header + 1:]:
        match = re.match(r"^\s*(\S+)\s+(\d+)\s+(\d+)\s+(.*\S)\s*$", line)
        if not match:
            break
        patches[match.group(1)] = {"faces": int(match.group(2)), "points": int(match.group(3)),
                                   "topology": match.group(4)}
    return patches


_GEOMETRY_PATTERNS = [
    ("max_aspect_ratio", rf"Max aspect ratio = ({NUMBER})"),
    ("max_aspect_ratio", rf"Max aspect ratio: ({NUMBER})"),
    ("high_aspect_ratio_cells", rf"High aspect ratio cells found.*number of cells ({NUMBER})"),
    ("min_face_area", rf"Minimum face area = ({NUMBER})"),
    ("max_face_area", rf"Maximum face area = ({NUMBER})"),
    ("min_volume", rf"Min volume = ({NUMBER})"),
    ("max_volume", rf"Max volume = ({NUMBER})"),
    ("total_volume", rf"Total volume = ({NUMBER})"),
    ("max_nonorthogonality", rf"Mesh non-orthogonality Max: ({NUMBER})"),
    ("avg_nonorthogonality", rf"Mesh non-orthogonality Max: {NUMBER} average: ({NUMBER})"),
    ("severe_nonorthogonal_faces", rf"Number of severely non-orthogonal \(> {NUMBER} degrees\) faces: ({NUMBER})"),
    ("nonorthogonality_errors", rf"Number of non-orthogonality errors: ({NUMBER})"),
    ("max_skewness", rf"Max skewness = ({NUMBER})"),
    ("highly_skew_faces", rf"Max skewness = {NUMBER}, ({NUMBER}) highly skew faces"),
    ("n_regions", rf"Number of regions: ({NUMBER})"),
]

_COUNTS = [("points", "n_points"), ("faces", "n_faces"), ("internal faces", "n_internal_faces"),
           ("cells", "n_cells"), ("boundary patches", "n_boundary_patches")]
_CELL_TYPES = ["hexahedra", "prisms", "wedges", "pyramids", "tet wedges", "tetrahedra", "polyhedra"]


def _geometry_values(lines):
    values = {}
    for line in lines:
        for key, pattern in _GEOMETRY_PATTERNS:
            match = re.search(pattern, line)
            if match:
                values[key] = _number(match.group(1))
    return values


def _bounding_box(lines):
    triple = rf"\(({NUMBER}) ({NUMBER}) ({NUMBER})\)"
    for line in lines:
        match = re.search(rf"Overall domain bounding box {triple} {triple}", line)
        if match:
            v = [float(g) for g in match.groups()]
            return {"min": v[:3], "max": v[3:]}
    return None


def _verdict(lines):
    """(mesh_ok, failed_checks): (True, 0) for "Mesh OK.", (False, n) for "Failed n mesh checks."."""
    for line in reversed(lines):
        if line.strip() == "Mesh OK.":
            return True, 0
        match = re.match(r"^\s*Failed (\d+) mesh checks?\.", line)
        if match:
            return False, int(match.group(1))
    return False, None


def parse_checkmesh(lines):
    """The metrics of one checkMesh run, in a fixed key order; absent numbers are None."""
    stats = _section_values(lines, "Mesh stats", {name for name, _ in _COUNTS})
    types = _section_values(lines, "Overall number of cells of each type:", set(_CELL_TYPES))
    geometry = _geometry_values(lines)
    mesh_ok, failed_checks = _verdict(lines)
    checked_orthogonality = "max_nonorthogonality" in geometry
    checked_skewness = "max_skewness" in geometry

    metrics = {"mesh_ok": mesh_ok, "failed_checks": failed_checks}
    for name, key in _COUNTS:
        metrics[key] = stats.get(name)
    metrics["max_nonorthogonality"] = geometry.get("max_nonorthogonality")
    metrics["avg_nonorthogonality"] = geometry.get("avg_nonorthogonality")
    # checkMesh names severe faces and skew faces only when there are some.
    metrics["severe_nonorthogonal_faces"] = geometry.get("severe_nonorthogonal_faces",
                                                         0 if checked_orthogonality else None)
    metrics["max_skewness"] = geometry.get("max_skewness")
    metrics["highly_skew_faces"] = geometry.get("highly_skew_faces", 0 if checked_skewness else None)
    metrics["max_aspect_ratio"] = geometry.get("max_aspect_ratio")
    for key in ("high_aspect_ratio_cells", "nonorthogonality_errors", "min_volume", "max_volume",
                "total_volume", "min_face_area", "max_face_area", "n_regions"):
        metrics[key] = geometry.get(key)
    metrics["cell_types"] = {name.replace(" ", "_"): types[name] for name in _CELL_TYPES if name in types}
    metrics["patches"] = _patch_table(lines)
    metrics["bounding_box"] = _bounding_box(lines)
    metrics["failed_check_messages"] = [line.strip().lstrip("*").strip() for line in lines
                                        if line.lstrip().startswith("***")]
    metrics["warnings"] = [line.strip().lstrip("*").strip() for line in lines
                           if re.match(r"^\s*\*[^*]", line)]
    metrics["fatal_error"] = _fatal_error(lines)
    return metrics


def _fatal_error(lines):
    """The message of a FOAM FATAL ERROR that ended the run, or None."""
    for i, line in enumerate(lines):
        if "FOAM FATAL" in line:
            message = [l.strip() for l in lines[i + 1:i + 8] if l.strip()]
            return " ".join(message[:3]) if message else line.strip()
    return None


def last_checkmesh_metrics(text):
    """Metrics of the last checkMesh run in a log text, and how many runs the log holds.

    Raises ValueError when the log holds no checkMesh run at all.
    """
    runs = checkmesh_runs(text)
    if not runs:
        raise ValueError("the log holds no checkMesh run")
    return parse_checkmesh(runs[-1]), len(runs)
