"""One OpenFOAM flow solver in a case: its files, its physical properties, its domain
decomposition, and solves ("segments") that run until the drag has converged or an
iteration budget is spent.

A solve streams the solver's output into the driver's own output (the case's solver log)
line by line while watching the force coefficients; once the drag satisfies the stop rule
(orvanta_case.convergence) the driver rewrites controlDict's stopAt to writeNow, which the
solver re-reads at its next iteration (runTimeModifiable) and answers by writing its fields
and ending normally.
"""

import os
import re
import shutil
import subprocess
import time
from dataclasses import dataclass

from orvanta_case import foam_files, mpi_jobs
from orvanta_case.convergence import CoefficientMonitor
from orvanta_case.flow_conditions import flow_conditions_dictionary


@dataclass(frozen=True)
class SolverKind:
    application: str
    compressible: bool


# DAHisaFoam stands for the transonic solver. OpenFOAM v1912 has no density-based steady
# solver; its best steady option for transonic flow is rhoSimpleFoam with the transonic
# pressure equation (compressibility in the pressure correction, so shocks form and move),
# set in solvers/DAHisaFoam/system/fvSolution.
SOLVERS = {
    "DASimpleFoam": SolverKind("simpleFoam", False),
    "DARhoSimpleFoam": SolverKind("rhoSimpleFoam", True),
    "DAHisaFoam": SolverKind("rhoSimpleFoam", True),
}


class SolverError(RuntimeError):
    pass


@dataclass
class SegmentResult:
    start_time: str
    end_time: str
    iterations: int
    converged: bool
    cd: float
    cl: float
    cm: float
    seconds: float


def solver_kind(solver_name):
    if solver_name not in SOLVERS:
        raise ValueError(f"unknown solver {solver_name!r}; known: {', '.join(SOLVERS)}")
    return SOLVERS[solver_name]


def staged_turbulence_model(case_dir):
    """The model constant/turbulenceProperties selects ("laminar" for laminar flow)."""
    path = os.path.join(case_dir, "constant", "turbulenceProperties")
    if not os.path.isfile(path):
        raise FileNotFoundError(f"{path} does not exist: the prepare phase writes it")
    text = foam_files.read(path)
    if foam_files.get_keyword(text, "simulationType") == "laminar":
        return "laminar"
    m = re.search(r"\bRASModel\s+(\w+)\s*;", text)
    if not m:
        raise ValueError(f"{path} selects no RAS model")
    return m.group(1)


class FlowSolver:
    def __init__(self, case_dir, solver_name, n_ranks=1, oversubscribe=False, out=None):
        self.case_dir = case_dir
        self.solver_name = solver_name
        self.kind = solver_kind(solver_name)
        self.n_ranks = max(1, int(n_ranks))
        self.oversubscribe = oversubscribe
        self.out = out
        self.env = mpi_jobs.solver_environment()

    # -- files ------------------------------------------------------------------------
    def path(self, *parts):
        return os.path.join(self.case_dir, *parts)

    def say(self, message):
        self.out.write(f"orvanta-flow: {message}\n")
        self.out.flush()

    def check_staged_files(self, turbulence_model):
        """The case must hold this solver's files and the turbulence model the run asks for
        (the prepare phase copies and writes them): the initial fields follow the model."""
        staged = staged_turbulence_model(self.case_dir)
        if staged != turbulence_model:
            raise SolverError(f"constant/turbulenceProperties selects {staged}, but the run asks for {turbulence_model}")
        control = self.path("system", "controlDict")
        application = foam_files.get_keyword(foam_files.read(control), "application")
        if application != self.kind.application:
            raise SolverError(f"system/controlDict runs {application}, but {self.solver_name} needs "
                              f"{self.kind.application}: solvers/{self.solver_name} was not copied into the case")
        properties = "thermophysicalProperties" if self.kind.compressible else "transportProperties"
        if not os.path.isfile(self.path("constant", properties)):
            raise SolverError(f"constant/{properties} is missing: solvers/{self.solver_name} was not copied")

    def field_roots(self):
        """Directories holding time directories: the processors' when decomposed."""
        if self.n_ranks > 1:
            return [self.path(f"processor{i}") for i in range(self.n_ranks)]
        return [self.case_dir]

    def latest_time(self):
        return foam_files.latest_time(self.field_roots()[0]) or "0"

    def latest_field_dirs(self):
        time_name = self.latest_time()
        return [os.path.join(root, time_name) for root in self.field_roots()]

    def clean_results(self):
        """Removes what an earlier solution left: time directories (0 included, it is
        rewritten), processor directories and function-object output."""
        for name in foam_files.time_directories(self.case_dir):
            shutil.rmtree(self.path(name))
        for name in os.listdir(self.case_dir):
            if re.fullmatch(r"processor\d+", name) or name == "postProcessing":
                shutil.rmtree(self.path(name))

    def prune_old_times(self):
        """Keeps 0 and the latest time: restarts and reconstruction need nothing else."""
        for root in self.field_roots():
            times = foam_files.time_directories(root)
            for name in times[:-1]:
                if float(name) != 0.0:
                    shutil.rmtree(os.path.join(root, name))

    def set_physical_properties(self, conditions):
        if self.kind.compressible:
            path = self.path("constant", "thermophysicalProperties")
            text, count = re.subn(r"^(\s*mu\s+)[^;\n]+;", lambda m: f"{m.group(1)}{conditions.dynamic_viscosity:.10g};",
                                  foam_files.read(path), flags=re.MULTILINE)
        else:
            path = self.path("constant", "transportProperties")
            text, count = re.subn(r"^(\s*nu\s+)[^;\n]+;",
                                  lambda m: f"{m.group(1)}[0 2 -1 0 0 0 0] {conditions.kinematic_viscosity:.10g};",
                                  foam_files.read(path), flags=re.MULTILINE)
        if count != 1:
            raise SolverError(f"{path} must hold exactly one viscosity entry, found {count}")
        foam_files.write(path, text)

    # -- processes --------------------------------------------------------------------
    def run_utility(self, command, what):
        """Runs an OpenFOAM utility quietly; its output goes to the log only if it fails."""
        result = subprocess.run(command, cwd=self.case_dir, env=self.env, capture_output=True, text=True)
        if result.returncode != 0:
            self.out.write(result.stdout[-6000:] + result.stderr[-4000:])
            raise SolverError(f"{what} (`{' '.join(command)}`) failed with exit status {result.returncode}")
        return result.stdout

    def decompose(self):
        if self.n_ranks <= 1:
            return
        foam_files.set_subdomains(self.case_dir, self.n_ranks)
        self.run_utility(["decomposePar", "-force"], "decomposing the case")
        self.say(f"decomposed into {self.n_ranks} subdomains")

    def _set_stop(self, stop_at):
        path = self.path("system", "controlDict")
        foam_files.write(path, foam_files.set_keyword(foam_files.read(path), "stopAt", stop_at))

    def run_segment(self, conditions, budget, std_tol, slope_tol):
        """One solver run from the latest time, at most `budget` iterations, stopped early
        once the drag has converged."""
        start_time = self.latest_time()
        end_time = int(round(float(start_time))) + int(budget)
        foam_files.write(self.path("system", "flowConditions"),
                         flow_conditions_dictionary(conditions, end_time, self.kind.compressible))
        self._set_stop("endTime")
        monitor = CoefficientMonitor(std_tol, slope_tol)
        command = mpi_jobs.parallel_command(self.n_ranks, [self.kind.application], self.oversubscribe)
        began = time.time()
        stop_requested = False
        with subprocess.Popen(command, cwd=self.case_dir, env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace") as process:
            for line in process.stdout:
                self.out.write(line)
                if monitor.feed(line) and not stop_requested and monitor.converged():
                    self._set_stop("writeNow")
                    stop_requested = True
                    self.out.flush()
            status = process.wait()
        self.out.flush()
        if status != 0:
            raise SolverError(f"{self.kind.application} stopped with exit status {status}")
        if not monitor.history["cd"]:
            raise SolverError(f"{self.kind.application} printed no force coefficients")
        return SegmentResult(start_time, self.latest_time(), len(monitor.history["cd"]), stop_requested,
                             monitor.last("cd"), monitor.last("cl"), monitor.last("cm"), time.time() - began)
