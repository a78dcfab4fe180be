"""Warm starts: the latest solution of an earlier case, brought onto this case's mesh.

`stage` puts the earlier solution's cell fields into warm_start/ of the case: copied when
both cases have the same mesh, interpolated with mapFields when they do not (a changed
geometry or resolution). The flow driver then starts from their internal fields (see
orvanta_case.initial_fields). warm_start/source.json records where they came from, so the
driver can tell a staged warm start from a stale one.
"""

import filecmp
import json
import os
import shutil
import subprocess

from orvanta_case import case_files, foam_files

WARM_START_DIR = "warm_start"
SOURCE_FILE = "source.json"
MESH_FILES = ("points", "faces", "owner", "neighbour", "boundary")
_MAP_CASE = "warm_start_mapping"


class WarmStartError(ValueError):
    pass


def resolve_source(case_dir, source):
    """A relative source names a case beside this one: it is taken against the case's parent
    (the working directory that holds the cases)."""
    if os.path.isabs(source):
        return os.path.normpath(source)
    parent = os.path.dirname(os.path.abspath(case_dir))
    return os.path.normpath(os.path.join(parent, source))


def _mesh_file(mesh_dir, name):
    for candidate in (name, name + ".gz"):
        path = os.path.join(mesh_dir, candidate)
        if os.path.isfile(path):
            return path
    return None


def source_solution(case_dir, source):
    """(source case path, its latest solution time); a WarmStartError says what is wrong."""
    path = resolve_source(case_dir, source)
    if not os.path.isdir(path):
        raise WarmStartError(f"the warm-start source {source} ({path}) is not a case directory")
    if os.path.samefile(path, case_dir):
        raise WarmStartError(f"the warm-start source {source} is this case itself")
    if _mesh_file(os.path.join(path, "constant", "polyMesh"), "points") is None:
        raise WarmStartError(f"the warm-start source {path} has no mesh (constant/polyMesh)")
    times = [t for t in foam_files.time_directories(path) if float(t) > 0]
    if not times:
        raise WarmStartError(f"the warm-start source {path} holds no flow solution (no time directory after 0)")
    latest = times[-1]
    if not os.path.isfile(os.path.join(path, latest, "U")):
        raise WarmStartError(f"the warm-start source's latest solution {os.path.join(path, latest)} has no U field")
    return path, latest


def same_mesh(mesh_a, mesh_b):
    """True when both polyMesh directories hold byte-identical mesh files."""
    for name in MESH_FILES:
        a, b = _mesh_file(mesh_a, name), _mesh_file(mesh_b, name)
        if (a is None) != (b is None):
            return False
        if a is not None and not filecmp.cmp(a, b, shallow=False):
            return False
    return True


def _volume_fields(time_dir):
    """(name, class) of the volume fields in a time directory, read from their headers."""
    fields = []
    for name in sorted(os.listdir(time_dir)):
        path = os.path.join(time_dir, name)
        if not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            head = f.read(4096).decode("utf-8", errors="ignore")
        for word in ("volScalarField", "volVectorField", "volSymmTensorField", "volTensorField"):
            if f"class       {word}" in head or f"class {word}" in head:
                fields.append((name, word))
                break
    return fields


_ZERO = {"volScalarField": "0", "volVectorField": "(0 0 0)", "volSymmTensorField": "(0 0 0 0 0 0)",
         "volTensorField": "(0 0 0 0 0 0 0 0 0)"}

_MAP_CONTROL = """FoamFile { version 2.0; format ascii; class dictionary; object controlDict; }
application mapFields;
startFrom startTime; startTime 0; stopAt endTime; endTime 0; deltaT 1;
writeControl timeStep; writeInterval 1; writeFormat ascii; writePrecision 10; timePrecision 8;
"""


def _template(name, field_class, dims):
    """A field that only gives mapFields somewhere to write: mapped values replace its
    zeros, and only its internal field is used later."""
    return (f"FoamFile {{ version 2.0; format ascii; class {field_class}; object {name}; }}\n"
            f"dimensions [{dims}];\ninternalField uniform {_ZERO[field_class]};\n"
            "boundaryField\n{\n    \".*\" { type zeroGradient; }\n"
            "    #includeEtc \"caseDicts/setConstraintTypes\"\n}\n")


def _map_fields(case_dir, source_path, source_time, target_dir, out):
    scratch = os.path.join(case_dir, _MAP_CASE)
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(os.path.join(scratch, "system"))
    os.makedirs(os.path.join(scratch, "constant"))
    os.makedirs(os.path.join(scratch, "0"))
    os.symlink(os.path.join("..", "..", "constant", "polyMesh"), os.path.join(scratch, "constant", "polyMesh"))
    with open(os.path.join(scratch, "system", "controlDict"), "w", encoding="utf-8") as f:
        f.write(_MAP_CONTROL)
    for name in ("fvSchemes", "fvSolution"):
        shutil.copy(os.path.join(case_dir, "system", name), os.path.join(scratch, "system", name))
    source_dir = os.path.join(source_path, source_time)
    fields = _volume_fields(source_dir)
    for name, field_class in fields:
        dims = foam_files.dimensions(foam_files.read(os.path.join(source_dir, name)))
        with open(os.path.join(scratch, "0", name), "w", encoding="utf-8") as f:
            f.write(_template(name, field_class, dims))
    command = ["mapFields", source_path, "-case", scratch, "-sourceTime", source_time, "-consistent"]
    out.write("Running: " + " ".join(command) + "\n")
    out.flush()
    result = subprocess.run(command, capture_output=True, text=True)
    out.write(result.stdout + result.stderr)
    if result.returncode != 0:
        raise WarmStartError(f"mapFields could not map {source_dir} onto this case's mesh "
                             f"(exit status {result.returncode})")
    for name, _ in fields:
        shutil.move(os.path.join(scratch, "0", name), os.path.join(target_dir, name))
    shutil.rmtree(scratch)
    return [name for name, _ in fields]


def stage(case_dir, source, out):
    """Stages the latest solution of `source` in <case_dir>/warm_start; returns the record."""
    source_path, source_time = source_solution(case_dir, source)
    target = os.path.join(case_dir, WARM_START_DIR)
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    if same_mesh(os.path.join(source_path, "constant", "polyMesh"), os.path.join(case_dir, "constant", "polyMesh")):
        method = "copied"
        fields = [name for name, _ in _volume_fields(os.path.join(source_path, source_time))]
        for name in fields:
            shutil.copy(os.path.join(source_path, source_time, name), os.path.join(target, name))
    else:
        method = "mapped"
        fields = _map_fields(case_dir, source_path, source_time, target, out)
    record = {"source": source_path, "time": source_time, "method": method, "fields": fields}
    case_files.write_json(os.path.join(target, SOURCE_FILE), record)
    return record


def check_staged(case_dir, source):
    """The staged warm start for `source`; a WarmStartError when none or another is staged."""
    path = os.path.join(case_dir, WARM_START_DIR, SOURCE_FILE)
    if not os.path.isfile(path):
        raise WarmStartError(f"no warm start is staged in {os.path.join(case_dir, WARM_START_DIR)}: run "
                             f"`python script_workflow_helpers.py stage-warm-start --initialize-from {source} "
                             "--case-dir .` first")
    with open(path, encoding="utf-8") as f:
        record = json.load(f)
    expected = resolve_source(case_dir, source)
    if os.path.normpath(record.get("source", "")) != expected:
        raise WarmStartError(f"the staged warm start comes from {record.get('source')}, not from {expected}")
    return record
