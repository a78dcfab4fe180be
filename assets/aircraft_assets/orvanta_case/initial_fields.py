"""The 0 directory of a flow solution: the packaged 0_orig fields with the freestream of the
requested conditions, or, for a warm start, with the internal fields of an earlier solution.

Boundary conditions always come from 0_orig, so a warm start from a case solved at other
conditions (or with another solver) still gets this solution's far field; only the cell
values are carried over.
"""

import os
import shutil

from orvanta_case import foam_files

# Fields each turbulence model solves or needs, besides U and p.
TURBULENCE_FIELDS = {
    "laminar": [],
    "SpalartAllmaras": ["nut", "nuTilda"],
    "kOmegaSST": ["nut", "k", "omega"],
    "kOmega": ["nut", "k", "omega"],
    "kEpsilon": ["nut", "k", "epsilon"],
    "realizableKE": ["nut", "k", "epsilon"],
    "RNGkEpsilon": ["nut", "k", "epsilon"],
    "LaunderSharmaKE": ["nut", "k", "epsilon"],
}
COMPRESSIBLE_FIELDS = ["T", "alphat"]

PASCAL = "1 -1 -2 0 0 0 0"
KINEMATIC_PRESSURE = "0 2 -2 0 0 0 0"


def field_names(turbulence_model, compressible):
    if turbulence_model not in TURBULENCE_FIELDS:
        raise ValueError(f"unknown turbulence model {turbulence_model!r}; known: {', '.join(TURBULENCE_FIELDS)}")
    names = ["U", "p"] + (COMPRESSIBLE_FIELDS if compressible else []) + TURBULENCE_FIELDS[turbulence_model]
    return names


def freestream_values(conditions, compressible):
    f = conditions.freestream
    values = {"U": conditions.velocity, "p": f.pressure if compressible else 0.0, "T": f.temperature,
              "alphat": 0.0}
    values.update(conditions.turbulence_values())
    return values


def pressure_to_kinematic(freestream):
    """Pa -> m2/s2 relative to the freestream, and back: the incompressible solver's pressure
    is (p - p_inf) / rho_inf."""
    return (lambda p: (p - freestream.pressure) / freestream.density,
            lambda p: freestream.pressure + freestream.density * p)


def _warm_internal_field(warm_dir, name, compressible, freestream):
    """The internal field of `name` from a staged warm start, in this solver's units, or
    None when the warm start has no such field."""
    path = os.path.join(warm_dir, name)
    if not os.path.isfile(path):
        return None
    text = foam_files.read(path)
    if name == "p":
        dims = foam_files.dimensions(text)
        to_kinematic, to_pascal = pressure_to_kinematic(freestream)
        if compressible and dims == KINEMATIC_PRESSURE:
            text = foam_files.map_scalar_values(text, to_pascal)
        elif not compressible and dims == PASCAL:
            text = foam_files.map_scalar_values(text, to_kinematic)
    return foam_files.internal_field(text)


def field_text(template, value, warm_internal=None, dimensions=None):
    """A field file from its 0_orig template: every `$internalField` reference in the
    boundary conditions becomes the freestream value, then the internal field is set."""
    uniform = "uniform " + foam_files.value_text(value)
    text = template.replace("$internalField", uniform)
    text = foam_files.replace_internal_field(text, warm_internal or uniform)
    if dimensions:
        text = foam_files.set_dimensions(text, dimensions)
    return text


def write_initial_fields(case_dir, conditions, turbulence_model, compressible, warm_dir=None):
    """Writes 0/ afresh; returns the names of the fields taken from the warm start."""
    template_dir = os.path.join(case_dir, "0_orig")
    zero = os.path.join(case_dir, "0")
    if os.path.isdir(zero):
        shutil.rmtree(zero)
    os.makedirs(zero)
    values = freestream_values(conditions, compressible)
    warm_fields = []
    for name in field_names(turbulence_model, compressible):
        template_path = os.path.join(template_dir, name)
        if not os.path.isfile(template_path):
            raise FileNotFoundError(f"0_orig has no {name} field, which {turbulence_model} needs")
        warm = _warm_internal_field(warm_dir, name, compressible, conditions.freestream) if warm_dir else None
        if warm is not None:
            warm_fields.append(name)
        dims = KINEMATIC_PRESSURE if name == "p" and not compressible else None
        text = field_text(foam_files.read(template_path), values[name], warm, dims)
        foam_files.write(os.path.join(zero, name), text)
    return warm_fields


def set_freestream_direction(field_dir, velocity):
    """Turns the far field's freestream in a U file of a time directory (a restart at a new
    angle of attack). The cell values stay: they are the solution being continued."""
    path = os.path.join(field_dir, "U")
    text, count = foam_files.replace_uniform_entries(foam_files.read(path), "freestreamValue",
                                                     foam_files.value_text(velocity))
    if count == 0:
        raise ValueError(f"{path} has no uniform freestreamValue to turn")
    foam_files.write(path, text)


def convert_pressure(field_dir, freestream, to_pascal):
    """Rewrites an incompressible solution's p between kinematic pressure relative to the
    freestream (what the solver works with) and absolute pressure in pascals (what the
    surface figures and the viewer show). The conversion is exact both ways, so a finished
    solution in pascals still starts the incompressible solver. Returns whether the file
    changed."""
    path = os.path.join(field_dir, "p")
    text = foam_files.read(path)
    source, target = (KINEMATIC_PRESSURE, PASCAL) if to_pascal else (PASCAL, KINEMATIC_PRESSURE)
    if foam_files.dimensions(text) != source:
        return False
    to_kinematic, to_pascal_map = pressure_to_kinematic(freestream)
    text = foam_files.map_scalar_values(text, to_pascal_map if to_pascal else to_kinematic)
    foam_files.write(path, foam_files.set_dimensions(text, target))
    return True
