"""Running OpenFOAM in parallel from a driver that was itself started by mpirun.

The host starts the flow driver as `mpirun -np N python script_run_dafoam.py ...`, which
makes N Python processes. They are not an MPI program (none of them calls MPI_Init), so
rank 0 does all the work and the others exit at once; mpirun waits for rank 0 and returns
its exit status. Rank 0 then runs the solver as a fresh MPI job of N ranks, `mpirun -np N
<solver> -parallel`, with the outer job's OMPI_*/PMIX_* variables removed from its
environment: with them, the inner mpirun would take itself for a process of the outer job
and fail to launch. The outer mpirun also pins rank 0 to one core; the pinning is undone
so that serial helpers and the inner launcher see every core (the inner mpirun pins its own
ranks again). Measured here: the nested launch starts in well under a second.
"""

import os
import signal
import sys
import threading
import time

# Variables a user sets to run Open MPI as root; they are not the outer job's and must stay.
_KEPT = {"OMPI_ALLOW_RUN_AS_ROOT", "OMPI_ALLOW_RUN_AS_ROOT_CONFIRM"}


def rank_and_size(environ=None):
    """(rank, size) of this process in the job that started it; (0, 1) outside mpirun."""
    env = os.environ if environ is None else environ
    rank = env.get("OMPI_COMM_WORLD_RANK") or env.get("PMIX_RANK") or env.get("PMI_RANK") or "0"
    size = env.get("OMPI_COMM_WORLD_SIZE") or env.get("PMI_SIZE") or "1"
    return int(rank), int(size)


# Where Debian's OpenFOAM keeps its etc/ folder; the host sets WM_PROJECT_DIR to it for the
# commands it runs, a tool started from a shell gets it here.
DEBIAN_OPENFOAM = "/usr/share/openfoam"


def solver_environment(environ=None):
    """The environment for a new, independent MPI job: the outer job's variables removed,
    OpenFOAM's project folder and Open MPI's consent to run as root filled in when missing."""
    env = dict(os.environ if environ is None else environ)
    for name in list(env):
        if (name.startswith("OMPI_") or name.startswith("PMIX_")) and name not in _KEPT:
            del env[name]
    if not env.get("WM_PROJECT_DIR") and os.path.isdir(DEBIAN_OPENFOAM):
        env["WM_PROJECT_DIR"] = DEBIAN_OPENFOAM
    if hasattr(os, "geteuid") and os.geteuid() == 0:
        for name in _KEPT:
            env.setdefault(name, "1")
    return env


def oversubscribe_requested(environ=None):
    """Continuous-integration machines may have fewer cores than ranks (ORVANTA_CI set)."""
    env = os.environ if environ is None else environ
    return bool(env.get("ORVANTA_CI"))


def parallel_command(n_ranks, command, oversubscribe=False):
    """The command for n_ranks ranks: itself when serial, else under mpirun with -parallel."""
    if n_ranks <= 1:
        return list(command)
    launcher = ["mpirun"] + (["--oversubscribe"] if oversubscribe else []) + ["-np", str(n_ranks)]
    return launcher + list(command) + ["-parallel"]


def release_core_pinning():
    if hasattr(os, "sched_setaffinity"):
        os.sched_setaffinity(0, range(os.cpu_count() or 1))


# How often the driver looks whether the mpirun that started it is still there, in seconds.
PARENT_POLL_SECONDS = 2.0


def _stop_own_work(signum, frame):
    """SIGTERM: passes the signal to every process this driver started (solver jobs,
    utilities: they share its process group) and ends."""
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
    try:
        os.killpg(os.getpgrp(), signal.SIGTERM)
    except OSError:
        pass
    sys.exit(128 + signal.SIGTERM)


def end_with_parent(poll_seconds=PARENT_POLL_SECONDS):
    """Makes the driver end, with its solver jobs, when it is told to (SIGTERM) or when the
    mpirun that started it is gone. Stopping a run signals the run's process group; Open MPI
    starts its ranks outside that group, and a killed mpirun would leave rank 0 running on,
    its solvers with it. Call from the main thread."""
    parent = os.getppid()
    signal.signal(signal.SIGTERM, _stop_own_work)

    def watch():
        while os.getppid() == parent:
            time.sleep(poll_seconds)
        os.kill(os.getpid(), signal.SIGTERM)

    threading.Thread(target=watch, name="parent-watch", daemon=True).start()
