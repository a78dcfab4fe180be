"""Confirming an optimization on a finer mesh.

An improvement found on the optimization's mesh may be the mesh's: numerical drag that a
shape change happens to reduce. After the optimizer stops, the baseline and the optimized
models are each re-meshed from their geometry, one surface level finer than the
optimization mesh (the mesh case's own recipe, see mesh_recipe), and solved cold at the
target lift with the same flow settings. The confirmed reduction compares those two drags.
"""

import math
import os
import time
from dataclasses import asdict, dataclass

from orvanta_case import case_files, primal_solution
from orvanta_case.optimization import flow, mesh_recipe

CONFIRM_DIR = "confirmation"
RESULT_FILE = "confirmation.json"
BASELINE_MODEL = "aircraft_baseline.vsp3"


@dataclass
class ConfirmedDesign:
    name: str
    surface_level: int
    cells: int
    cd: float
    cl: float
    angle_of_attack: float
    converged: bool
    lift_met: bool
    mesh_seconds: float
    solve_seconds: float


def reduction_pct(baseline_cd, optimized_cd):
    if not (math.isfinite(baseline_cd) and math.isfinite(optimized_cd)) or baseline_cd == 0:
        return None
    return 100.0 * (baseline_cd - optimized_cd) / baseline_cd


class Confirmation:
    """Re-meshes and solves the designs; `designs` maps a name ("baseline", "optimized") to
    (model file, starting angle of attack)."""

    def __init__(self, case_dir, work_dir, settings, conditions, lift_target, level_offset, out):
        self.case_dir = case_dir
        self.work_dir = os.path.join(work_dir, CONFIRM_DIR)
        self.settings = settings
        self.conditions = conditions
        self.lift_target = lift_target
        self.level_offset = level_offset
        self.out = out
        self.remesher = mesh_recipe.Remesher(case_dir, settings.n_ranks, settings.oversubscribe, out)

    def say(self, message):
        self.out.write(f"orvanta-opt: {message}\n")
        self.out.flush()

    def available(self):
        return mesh_recipe.recipe_system(self.case_dir) is not None

    def design(self, name, model_file, angle_of_attack):
        folder = os.path.join(self.work_dir, name)
        mesh = self.remesher.remesh(model_file, os.path.join(folder, "mesh"), self.level_offset)
        self.say(f"confirmation: the {name} design re-meshed at surface level {mesh.surface_level}, "
                 f"{mesh.cells} cells ({mesh.seconds:.0f} s)")
        case = flow.FlowCase(os.path.join(folder, "flow"), self.case_dir, mesh.mesh_dir, self.settings,
                             self.conditions)
        with open(os.path.join(folder, "flow.log"), "w", encoding="utf-8") as log:
            began = time.time()
            result = case.solve(angle_of_attack, None, log, lift_target=self.lift_target)
        lift_met = abs(result.cl - self.lift_target) <= primal_solution.LIFT_TOLERANCE
        confirmed = ConfirmedDesign(name, mesh.surface_level, mesh.cells, result.cd, result.cl,
                                    result.angle_of_attack, result.converged, lift_met, mesh.seconds,
                                    time.time() - began)
        self.say(f"confirmation: the {name} design at surface level {mesh.surface_level}: CD {result.cd:.7g}, "
                 f"CL {result.cl:.6g} at {result.angle_of_attack:.4g} deg, "
                 f"{'converged' if result.converged else 'NOT converged'} after {result.total_iterations} "
                 f"iterations ({confirmed.solve_seconds:.0f} s){'' if lift_met else '; lift target not met'}")
        return confirmed

    def run(self, designs):
        """Confirms every design; writes and returns the summary ({} when not available)."""
        if not self.available():
            self.say("confirmation skipped: the case holds no mesh recipe of its mesh case "
                     f"({mesh_recipe.RECIPE_DIR}/system), so its designs cannot be re-meshed")
            return {}
        level = mesh_recipe.surface_level(mesh_recipe.recipe_system(self.case_dir)) + self.level_offset
        self.say(f"confirming the result at surface level {level}: {len(designs)} models re-meshed from their "
                 f"geometry and solved from the freestream at CL {self.lift_target:g}, one after the other "
                 f"(each mesh has several times the optimization mesh's cells)")
        confirmed = [self.design(name, model, angle) for name, (model, angle) in designs.items()]
        summary = {d.name: asdict(d) for d in confirmed}
        summary["optimization_surface_level"] = confirmed[0].surface_level - self.level_offset
        base, best = summary.get("baseline"), summary.get("optimized")
        if base and best:
            summary["reduction_pct"] = reduction_pct(base["cd"], best["cd"])
            trusted = all(d.converged and d.lift_met for d in confirmed)
            summary["trusted"] = trusted
            self.say(f"confirmation on the finer mesh: CD {base['cd']:.7g} -> {best['cd']:.7g} "
                     f"({summary['reduction_pct']:+.2f} % reduction at CL {self.lift_target:g})"
                     + ("" if trusted else "; not every confirming solution converged at the target lift"))
        case_files.write_json(os.path.join(self.case_dir, RESULT_FILE), summary)
        return summary

