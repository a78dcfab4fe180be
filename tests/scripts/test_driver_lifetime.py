"""A flow or optimization driver ends with the mpirun that started it, and takes the solver
jobs it started along: a stopped run must not leave rank 0 and its solvers running on."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from case_scripts import ASSETS

# The driver's stand-in: it starts a long "solver" in its own process group, writes both pids,
# and waits, as rank 0 waits for its solver job.
DRIVER = """
import subprocess, sys, time
sys.path.insert(0, {assets!r})
from orvanta_case import mpi_jobs
mpi_jobs.end_with_parent(poll_seconds=0.2)
solver = subprocess.Popen(["sleep", "60"])
with open({pids!r} + ".tmp", "w") as f:
    f.write(f"{{__import__('os').getpid()}} {{solver.pid}}")
__import__("os").replace({pids!r} + ".tmp", {pids!r})
solver.wait()
"""


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # A zombie has ended: only its parent has not collected it yet.
    with open(f"/proc/{pid}/stat") as f:
        return f.read().split(")")[-1].split()[0] != "Z"


class DriverLifetime(unittest.TestCase):
    def start(self):
        folder = tempfile.mkdtemp(prefix="orvanta_lifetime_")
        self.addCleanup(shutil.rmtree, folder, True)
        pids_file = os.path.join(folder, "pids")
        script = os.path.join(folder, "driver.py")
        with open(script, "w", encoding="utf-8") as f:
            f.write(DRIVER.format(assets=ASSETS, pids=pids_file))
        # The parent stands for mpirun: its own process group, the driver beneath it.
        parent = subprocess.Popen(["sh", "-c", '"$0" "$1" & wait', sys.executable, script], start_new_session=True)
        for _ in range(100):
            if os.path.isfile(pids_file) and os.path.getsize(pids_file) > 0:
                break
            time.sleep(0.05)
        with open(pids_file, encoding="utf-8") as f:
            driver, solver = (int(p) for p in f.read().split())
        self.addCleanup(lambda: [os.kill(p, signal.SIGKILL) for p in (driver, solver) if alive(p)])
        return parent, driver, solver

    def gone(self, *pids, within=5.0):
        deadline = time.time() + within
        while time.time() < deadline and any(alive(p) for p in pids):
            time.sleep(0.1)
        return not any(alive(p) for p in pids)

    def test_a_killed_parent_takes_the_driver_and_its_solver_along(self):
        parent, driver, solver = self.start()
        os.kill(parent.pid, signal.SIGKILL)
        parent.wait()
        self.assertTrue(self.gone(driver, solver), "driver or solver outlived the killed mpirun")

    def test_a_terminated_driver_ends_its_solver(self):
        parent, driver, solver = self.start()
        os.kill(driver, signal.SIGTERM)
        self.assertTrue(self.gone(driver, solver), "the solver outlived its driver")
        parent.wait(timeout=5)


if __name__ == "__main__":
    unittest.main()
