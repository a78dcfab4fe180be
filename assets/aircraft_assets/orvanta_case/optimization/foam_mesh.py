"""The pieces of an ASCII OpenFOAM mesh that shape changes need: patch ranges, points and
the faces of one patch, and the point-displacement field that moveMesh reads.

The mesh pipeline writes its mesh in ASCII (system/controlDict writeFormat), so plain text
reading suffices; a binary or compressed mesh is refused with a clear message.
"""

import os
import re

import numpy as np

_HEADER_END = re.compile(r"^\(\s*$", re.MULTILINE)


def _body(path):
    """(count, text after the opening parenthesis) of an OpenFOAM list file."""
    if not os.path.isfile(path):
        if os.path.isfile(path + ".gz"):
            raise ValueError(f"{path}.gz is compressed; the optimizer reads uncompressed ASCII meshes")
        raise FileNotFoundError(f"{path} does not exist")
    with open(path, "rb") as f:
        data = f.read()
    text_start = data.find(b"FoamFile")
    header_end = data.find(b"}", text_start) if text_start >= 0 else -1
    header = data[:header_end].decode("ascii", errors="ignore")
    if re.search(r"format\s+binary", header):
        raise ValueError(f"{path} is binary; the optimizer reads ASCII meshes (writeFormat ascii)")
    text = data[header_end + 1:].decode("ascii")
    match = _HEADER_END.search(text)
    if match is None:
        raise ValueError(f"{path}: no list found")
    count_text = text[:match.start()].split()
    count = int(count_text[-1])
    # The list's entries start on the line after the opening parenthesis.
    return count, text[text.index("\n", match.start()) + 1:]


def read_points(path):
    """(n, 3) array of a points file."""
    return read_vectors(path)


def read_vectors(path):
    """(n, 3) array of a vector list file (a point field such as a sensitivity)."""
    count, body = _body(path)
    numbers = body.replace("(", " ").replace(")", " ").split()
    values = np.array(numbers[:3 * count], dtype=float)
    if values.size != 3 * count:
        raise ValueError(f"{path}: expected {count} vectors")
    return values.reshape(count, 3)


def read_scalars(path):
    """(n,) array of a scalar list file (e.g. a point field)."""
    count, body = _body(path)
    values = np.array(body.split(")", 1)[0].split()[:count], dtype=float)
    if values.size != count:
        raise ValueError(f"{path}: expected {count} values")
    return values


def read_faces(path, start, count):
    """Point labels of faces [start, start + count) of a faces file, as lists."""
    _, body = _body(path)
    lines = body.splitlines()
    faces = []
    for line in lines[start:start + count]:
        head, _, rest = line.partition("(")
        labels = [int(v) for v in rest.rstrip(") \t").split()]
        if int(head) != len(labels):
            raise ValueError(f"{path}: face line {line!r} does not hold {head} labels")
        faces.append(labels)
    if len(faces) != count:
        raise ValueError(f"{path}: fewer than {start + count} faces")
    return faces


def read_boundary(path):
    """{patch name: {"type", "start", "n_faces"}} in file order."""
    with open(path, encoding="ascii", errors="ignore") as f:
        text = f.read()
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.DOTALL)
    text = re.sub(r"//[^\n]*", "", text)
    text = text[text.find("}", text.find("FoamFile")) + 1:]
    patches = {}
    for name, body in re.findall(r"(\w[\w.-]*)\s*\{([^{}]*)\}", text):
        fields = dict(re.findall(r"(\w+)\s+([^;]+);", body))
        patches[name] = {"type": fields["type"].strip(), "start": int(fields["startFace"]),
                         "n_faces": int(fields["nFaces"])}
    return patches


def patch_point_ids(mesh_dir, patch):
    """Mesh point labels of a patch in OpenFOAM's own order (meshPoints): each point where it
    first appears while walking the patch's faces in file order. Values written for the
    patch's points (pointDisplacement) must follow this order."""
    patches = read_boundary(os.path.join(mesh_dir, "boundary"))
    if patch not in patches:
        raise ValueError(f"the mesh has no patch `{patch}`; its patches are {', '.join(patches)}")
    p = patches[patch]
    faces = read_faces(os.path.join(mesh_dir, "faces"), p["start"], p["n_faces"])
    flat = np.fromiter((label for face in faces for label in face), dtype=np.int64)
    _, first = np.unique(flat, return_index=True)
    return flat[np.sort(first)]


def _vector_list(values):
    rows = "\n".join(f"({x:.17g} {y:.17g} {z:.17g})" for x, y, z in values)
    return f"nonuniform List<vector>\n{len(values)}\n(\n{rows}\n)"


def write_point_displacement(path, patches, moved_patch, displacement):
    """The pointDisplacement field for one moveMesh step: the moved patch's points get
    `displacement` (in patch point order), every other patch stays put except constraint
    patches (symmetry, empty, ...), which keep their own type so points slide along them."""
    constraint_types = {"symmetry", "symmetryPlane", "empty", "wedge", "cyclic", "processor"}
    entries = []
    for name, p in patches.items():
        if name == moved_patch:
            entries.append(f"    {name}\n    {{\n        type fixedValue;\n"
                           f"        value {_vector_list(displacement)};\n    }}")
        elif p["type"] in constraint_types:
            entries.append(f"    {name}\n    {{\n        type {p['type']};\n    }}")
        else:
            entries.append(f"    {name}\n    {{\n        type fixedValue;\n        value uniform (0 0 0);\n    }}")
    text = ("FoamFile\n{\n    version 2.0;\n    format ascii;\n    class pointVectorField;\n"
            "    object pointDisplacement;\n}\n\ndimensions [0 1 0 0 0 0 0];\n\n"
            "internalField uniform (0 0 0);\n\nboundaryField\n{\n" + "\n".join(entries) + "\n}\n")
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="ascii") as f:
        f.write(text)
    os.replace(tmp, path)
