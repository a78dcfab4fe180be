"""The freestream of a flow solution and the reference quantities of its force coefficients.

Axes: x streamwise (nose to tail), y spanwise (the half model lies at y >= 0, its symmetry
plane is y = 0), z up. The angle of attack turns the freestream about the y axis, so that
a positive angle blows from below: U = |U| (cos a, 0, sin a). Drag is measured along the
freestream, lift perpendicular to it in the x-z plane, and the pitching moment about the
y axis through the moment centre (nose-up positive).
"""

import math
from dataclasses import dataclass

from orvanta_case import orvanta_cli

GAMMA = 1.4
GAS_CONSTANT = 287.05  # J/(kg K), as the host's reference values assume

# Freestream turbulence: 0.1 % intensity and an eddy viscosity five times the molecular
# one, the usual quiet far field of external aerodynamics.
TURBULENCE_INTENSITY = 0.001
EDDY_VISCOSITY_RATIO = 5.0
C_MU = 0.09


@dataclass
class Freestream:
    """Sea-level freestream at a Mach number; its speed, pressure and dynamic pressure are
    the host's reference values, so plots and solution share them exactly."""

    mach: float
    speed: float  # m/s
    pressure: float  # Pa
    dynamic_pressure: float  # Pa

    @classmethod
    def at_mach(cls, mach_number):
        values = orvanta_cli.reference_values(mach_number)
        return cls(float(mach_number), float(values["u0"]), float(values["reference_pressure"]),
                   float(values["pressure_coefficient_scale"]))

    @property
    def density(self):
        return 2.0 * self.dynamic_pressure / self.speed ** 2

    @property
    def temperature(self):
        sound_speed = self.speed / self.mach
        return sound_speed ** 2 / (GAMMA * GAS_CONSTANT)


@dataclass
class ForceReference:
    """Reference quantities of the coefficients. `area` is the whole aircraft's reference
    area; the mesh holds one half, whose forces are referred to half of it."""

    area: float
    length: float
    moment_centre: tuple

    @property
    def half_area(self):
        return 0.5 * self.area


@dataclass
class FlowConditions:
    freestream: Freestream
    angle_of_attack: float  # degrees
    reynolds_number: float  # per reference length
    reference: ForceReference

    @property
    def drag_direction(self):
        a = math.radians(self.angle_of_attack)
        return (math.cos(a), 0.0, math.sin(a))

    @property
    def lift_direction(self):
        a = math.radians(self.angle_of_attack)
        return (-math.sin(a), 0.0, math.cos(a))

    @property
    def velocity(self):
        return tuple(self.freestream.speed * c for c in self.drag_direction)

    @property
    def kinematic_viscosity(self):
        """From the Reynolds number per reference length (the mean aerodynamic chord)."""
        return self.freestream.speed * self.reference.length / self.reynolds_number

    @property
    def dynamic_viscosity(self):
        return self.freestream.density * self.kinematic_viscosity

    def turbulence_values(self):
        """Freestream values of the turbulence fields."""
        nu = self.kinematic_viscosity
        k = 1.5 * (TURBULENCE_INTENSITY * self.freestream.speed) ** 2
        nut = EDDY_VISCOSITY_RATIO * nu
        return {"nuTilda": 3.0 * nu, "k": k, "omega": k / nut, "epsilon": C_MU * k * k / nut, "nut": 0.0}

    def with_angle(self, angle_of_attack):
        return FlowConditions(self.freestream, angle_of_attack, self.reynolds_number, self.reference)


def _vector(v):
    return "(" + " ".join(f"{c:.10g}" for c in v) + ")"


def flow_conditions_dictionary(conditions, end_time, compressible):
    """system/flowConditions: what the solver's controlDict takes from the driver."""
    f = conditions.freestream
    reference = conditions.reference
    lines = [
        "// Written by the flow driver (script_run_dafoam.py) before each solve.",
        f"// Mach {f.mach:.6g}, angle of attack {conditions.angle_of_attack:.6g} deg, "
        f"Reynolds number {conditions.reynolds_number:.6g} per {reference.length:.6g} m.",
        f"endTime         {end_time};",
        f"writeInterval   {end_time};",
        f"pInf            {f.pressure if compressible else 0.0:.10g};",
        f"rhoInf          {f.density:.10g};",
        f"magUInf         {f.speed:.10g};",
        f"lRef            {reference.length:.10g};",
        f"Aref            {reference.half_area:.10g};",
        f"CofR            {_vector(reference.moment_centre)};",
        f"liftDir         {_vector(conditions.lift_direction)};",
        f"dragDir         {_vector(conditions.drag_direction)};",
        "pitchAxis       (0 1 0);",
    ]
    return "FoamFile\n{\n    version     2.0;\n    format      ascii;\n    class       dictionary;\n" \
           "    object      flowConditions;\n}\n\n" + "\n".join(lines) + "\n"
