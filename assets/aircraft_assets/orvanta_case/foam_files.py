"""Text-level edits of OpenFOAM's ASCII files: top-level keywords, internal fields, uniform
boundary values, time directories.

The flow driver changes only a few entries of dictionaries and fields it knows, so plain
text edits suffice and keep every other line (comments included) as it was. The fields
are written in ASCII by the solver dictionaries for exactly this reason.
"""

import os
import re

import numpy as np

_NUMBER = r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?"


def time_directories(directory):
    """Names of the time directories in `directory`, in increasing time order."""
    times = []
    if not os.path.isdir(directory):
        return times
    for name in os.listdir(directory):
        if not os.path.isdir(os.path.join(directory, name)):
            continue
        try:
            value = float(name)
        except ValueError:
            continue
        times.append((value, name))
    return [name for _, name in sorted(times)]


def latest_time(directory):
    times = time_directories(directory)
    return times[-1] if times else None


def read(path):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        return f.read()


def write(path, text):
    tmp = path + ".orvanta_tmp"
    with open(tmp, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write(text)
    os.replace(tmp, path)


def set_keyword(text, keyword, value):
    """Sets the top-level entry `keyword value;` (a line that starts with the keyword)."""
    pattern = re.compile(r"^" + re.escape(keyword) + r"(\s+)[^;\n]*;", re.MULTILINE)
    new_text, count = pattern.subn(lambda m: keyword + m.group(1) + value + ";", text, count=1)
    if count == 0:
        raise ValueError(f"no top-level `{keyword}` entry to set")
    return new_text


def get_keyword(text, keyword):
    """The value text of the top-level entry `keyword value;`, or None."""
    m = re.search(r"^" + re.escape(keyword) + r"\s+([^;\n]*);", text, re.MULTILINE)
    return m.group(1).strip() if m else None


def _list_end(text, open_paren):
    """Index just past the parenthesis that closes the one at `open_paren`."""
    depth = 0
    for m in re.compile(r"[()]").finditer(text, open_paren):
        depth += 1 if m.group() == "(" else -1
        if depth == 0:
            return m.end()
    raise ValueError("unbalanced parentheses in a field list")


def _value_span(text, start):
    """(start, end) of a field value beginning at `start`: `uniform <v>` or
    `nonuniform List<T> N(...)`, the terminating semicolon excluded."""
    if text.startswith("nonuniform", start):
        open_paren = text.index("(", start)
        return start, _list_end(text, open_paren)
    if text.startswith("uniform", start):
        return start, text.index(";", start)
    raise ValueError(f"unrecognised field value: {text[start:start + 40]!r}")


def internal_field_span(text):
    m = re.search(r"^internalField\s+", text, re.MULTILINE)
    if not m:
        raise ValueError("no internalField entry")
    return _value_span(text, m.end())


def internal_field(text):
    """The value text of a field file's internalField entry."""
    start, end = internal_field_span(text)
    return text[start:end]


def replace_internal_field(text, value):
    start, end = internal_field_span(text)
    return text[:start] + value + text[end:]


def dimensions(text):
    m = re.search(r"^dimensions\s+(\[[^\]]*\])\s*;", text, re.MULTILINE)
    if not m:
        raise ValueError("no dimensions entry")
    return " ".join(m.group(1).strip("[]").split())


def set_dimensions(text, dims):
    return re.sub(r"^dimensions(\s+)\[[^\]]*\]", lambda m: "dimensions" + m.group(1) + "[" + dims + "]",
                  text, count=1, flags=re.MULTILINE)


def replace_uniform_entries(text, keyword, value):
    """Sets every `keyword uniform <...>;` entry (e.g. the far field's freestreamValue) to
    `uniform <value>`; returns the new text and how many entries changed."""
    pattern = re.compile(r"(\b" + re.escape(keyword) + r"\s+)uniform\s+(?:\([^)]*\)|[^;\s]+)\s*;")
    return pattern.subn(lambda m: m.group(1) + "uniform " + value + ";", text)


def _format_scalars(values):
    return "\n".join(f"{v:.15g}" for v in values)


def map_scalar_values(text, function):
    """Applies `function` (numpy array -> array) to every value of a scalar field file:
    the internal field and every boundary value, uniform or listed. Keywords, types and
    structure stay as they are."""
    out, pos = [], 0
    pattern = re.compile(r"\b(nonuniform\s+List<scalar>\s*(\d+)\s*\(|uniform\s+(" + _NUMBER + r")\s*;)")
    for m in pattern.finditer(text):
        if m.start() < pos:
            continue
        out.append(text[pos:m.start()])
        if m.group(3) is not None:
            value = float(function(np.array([float(m.group(3))]))[0])
            out.append(f"uniform {value:.15g};")
            pos = m.end()
            continue
        count = int(m.group(2))
        end = _list_end(text, m.end() - 1)
        values = np.array(text[m.end():end - 1].split(), dtype=float)
        if len(values) != count:
            raise ValueError(f"a scalar list announces {count} values but holds {len(values)}")
        body = _format_scalars(function(values))
        out.append(f"nonuniform List<scalar> \n{count}\n(\n{body}\n)" if count else "nonuniform List<scalar> 0()")
        pos = end
    out.append(text[pos:])
    return "".join(out)


def value_text(value):
    """The text of a scalar or vector value, as it follows `uniform`."""
    if isinstance(value, (tuple, list, np.ndarray)):
        return "(" + " ".join(f"{float(v):.10g}" for v in value) + ")"
    return f"{float(value):.10g}"


def boundary_patches(text):
    """(name, number of faces) of each patch of a polyMesh/boundary file, in the mesh's order."""
    header = re.search(r"FoamFile\s*\{[^}]*\}", text)
    start = text.find("(", header.end() if header else 0)
    if start < 0:
        raise ValueError("no patch list in the boundary file")
    patches = []
    for m in re.finditer(r"(\w+)\s*\{([^{}]*)\}", text[start:]):
        faces = re.search(r"\bnFaces\s+(\d+)\s*;", m.group(2))
        if faces is None:
            raise ValueError(f"patch {m.group(1)} of the boundary file has no nFaces entry")
        patches.append((m.group(1), int(faces.group(1))))
    return patches


def patch_scalar_values(text, patch, n_faces):
    """The `value` entry of one patch of a scalar field file as an array of n_faces values
    (a uniform value repeated)."""
    field = re.search(r"^boundaryField\s*\{", text, re.MULTILINE)
    if field is None:
        raise ValueError("no boundaryField entry")
    block = re.compile(r"^\s*" + re.escape(patch) + r"\s*\{", re.MULTILINE).search(text, field.end())
    if block is None:
        raise ValueError(f"no boundary entry for patch {patch}")
    end = text.index("}", block.end())
    value = re.compile(r"^\s*value\s+", re.MULTILINE).search(text, block.end(), end)
    if value is None:
        raise ValueError(f"patch {patch} has no value entry")
    start, stop = _value_span(text, value.end())
    entry = text[start:stop]
    if entry.startswith("uniform"):
        return np.full(n_faces, float(entry.split()[1]))
    m = re.match(r"nonuniform\s+List<scalar>\s*(\d+)\s*\(", entry)
    if m is None:
        raise ValueError(f"patch {patch}: expected a scalar list, got {entry[:40]!r}")
    values = np.array(entry[m.end():-1].split(), dtype=float)
    if int(m.group(1)) != len(values):
        raise ValueError(f"patch {patch}: a scalar list announces {m.group(1)} values but holds {len(values)}")
    if len(values) != n_faces:
        raise ValueError(f"patch {patch} holds {len(values)} values for {n_faces} faces")
    return values


def set_subdomains(case_dir, n_ranks):
    """system/decomposeParDict of a case decomposed into n_ranks subdomains."""
    path = os.path.join(case_dir, "system", "decomposeParDict")
    write(path, set_keyword(read(path), "numberOfSubdomains", str(n_ranks)))
