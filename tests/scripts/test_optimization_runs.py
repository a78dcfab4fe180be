"""The optimizers on a closed-form problem with the driver's interface: both reach the known
optimum, and the history, the optimizer logs, the scaling report, the metrics and the
figures written along the way say what happened. SNOPT and unknown optimizers are refused
by the real driver with a message and an exit status, never replaced."""

import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest

import numpy as np

from case_scripts import ASSETS, DATA
from optimization_fakes import FakeProblem
from orvanta_case.optimization import analysis_metrics, history_plots, optimizers, scaling_report, target_lift
from orvanta_case.optimization.history import HistoryWriter, read_history

OPTIMUM = np.array([0.2, 0.03])
REVIEWED_KEYS = ["has_nan_inf", "objective_reduction_pct", "final_feasibility", "flow_residual_drop_orders",
                 "adjoint_residual_drop_orders", "optimizer", "exit_status", "objective_initial", "objective_final",
                 "final_optimality", "last_primal_converged", "last_tol_val", "last_tol_thr", "opt_iters",
                 "final_obj", "final_con", "baseline_design_variables", "optimized_design_variables"]


def finished_run(case, optimizer):
    """Runs an optimizer on the fake problem in `case` and records what the driver records."""
    history = HistoryWriter(os.path.join(case, "OptView.hst"))
    history.set_meta(optimizer=optimizer, lift_target=0.25, lift_scale=0.5, primal_std_tol=2e-6, gradient="exact",
                     constraint_groups={"thickness": 0.9})
    problem = FakeProblem(history)
    log = optimizers.IterationLog(problem, os.path.join(case, "opt_SLSQP.txt" if optimizer == "SLSQP" else
                                                        "opt_IPOPT_iterations.txt"), optimizer)
    if optimizer == "SLSQP":
        x, status, iterations = optimizers.run_slsqp(problem, 30, log)
    else:
        x, status, iterations = optimizers.run_ipopt(problem, 40, log, os.path.join(case, "opt_IPOPT.txt"))
    log.finish(status)
    final = problem.evaluate(x)
    history.set_meta(design_variables=[vars(v) for v in problem.space.variables], baseline_evaluation=1,
                     final_evaluation=final.id, exit_status=status, iterations=iterations,
                     primal_solves=problem.primal_solves, wall_time=1.0)
    history.close()
    return problem, x, status


class Optimizers(unittest.TestCase):
    def setUp(self):
        self.case = tempfile.mkdtemp(prefix="orvanta_opt_run_")
        self.addCleanup(shutil.rmtree, self.case)

    def test_slsqp_reaches_the_bounded_optimum_and_logs_every_major_iteration(self):
        problem, x, status = finished_run(self.case, "SLSQP")
        np.testing.assert_allclose(x, OPTIMUM, atol=2e-4)
        self.assertIn("(SLSQP exit mode 0)", status)
        h = read_history(os.path.join(self.case, "OptView.hst"))
        majors = [r["major"] for r in h["iterations"]]
        self.assertEqual(majors, list(range(len(majors))))
        self.assertGreaterEqual(len(majors), 2)
        self.assertLess(h["iterations"][-1]["feasibility"], 1e-6)
        self.assertLess(h["iterations"][-1]["optimality"], 1e-4)
        self.assertGreater(h["iterations"][0]["optimality"], 1e-3)
        with open(os.path.join(self.case, "opt_SLSQP.txt"), encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 2 + len(majors) + 1)
        self.assertEqual(lines[-1], f"Exit: {status}")

    def test_ipopt_through_its_c_interface_reaches_the_same_optimum(self):
        problem, x, status = finished_run(self.case, "IPOPT")
        np.testing.assert_allclose(x, OPTIMUM, atol=1e-3)
        self.assertRegex(status, r"^Solve(d_To_Acceptable_Level|_Succeeded) \(IPOPT status [01]\)$")
        with open(os.path.join(self.case, "opt_IPOPT.txt"), encoding="utf-8") as f:
            self.assertIn("EXIT:", f.read())
        h = read_history(os.path.join(self.case, "OptView.hst"))
        self.assertLess(h["iterations"][-1]["optimality"], 1e-3)  # IPOPT's own dual infeasibility

    def test_optimality_vanishes_at_a_kkt_point_and_ignores_inactive_constraints(self):
        # min x0 + x1 subject to x0 - x1 = 0 and x0 >= -1 (inactive), x1 held at its lower bound.
        grad, jac = np.array([1.0, 1.0]), np.array([[1.0, -1.0], [1.0, 0.0]])
        self.assertAlmostEqual(optimizers.optimality(grad, jac, [0.0, 2.0], 1, [0.0, 0.0], [-5, -5], [5, 5]), 1.0)
        self.assertAlmostEqual(optimizers.optimality(grad, jac, [0.0, 2.0], 1, [0.0, -5.0], [-5, -5], [5, 5]), 0.0)
        # An active inequality x0 >= 0 may only push: it holds a descent towards lower x0,
        # not one towards higher x0.
        self.assertAlmostEqual(optimizers.optimality(grad, jac[1:], [0.0], 0, [0.0, -5.0], [-5, -5], [5, 5]), 0.0)
        self.assertAlmostEqual(optimizers.optimality(-grad, jac[1:], [0.0], 0, [0.0, 5.0], [-5, -5], [5, 5]), 1.0)


class Outputs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.case = tempfile.mkdtemp(prefix="orvanta_opt_outputs_")
        cls.problem, cls.x, cls.status = finished_run(cls.case, "SLSQP")
        shutil.copy(os.path.join(DATA, "cfd_simplefoam_converged.log"), os.path.join(cls.case, "log_optimization.txt"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.case)

    def metrics(self):
        return analysis_metrics.optimization_metrics(self.case, "opt_SLSQP.txt", "OptView.hst",
                                                     scaling_report.REPORT, "vsp_design_vars.json")

    def test_metrics_hold_every_reviewed_key_with_the_runs_numbers(self):
        m = self.metrics()
        self.assertEqual([k for k in REVIEWED_KEYS if k not in m], [])
        h = read_history(os.path.join(self.case, "OptView.hst"))
        first, final = h["evaluations"][0], [e for e in h["evaluations"] if e["id"] == h["meta"]["final_evaluation"]][0]
        self.assertEqual((m["objective_initial"], m["objective_final"]), (first["cd"], final["cd"]))
        # The fake's baseline is off the target lift: its drag is moved there along its own slope.
        slopes = target_lift.drag_lift_slopes(h)
        before = first["cd"] - slopes[first["id"]] * (first["cl"] - 0.25)
        self.assertAlmostEqual(m["objective_initial_at_target_lift"], before)
        self.assertAlmostEqual(m["objective_reduction_pct"], 100 * (before - m["objective_final_at_target_lift"]) / before)
        self.assertGreater(m["objective_reduction_pct"], 0.0)
        self.assertLess(m["final_feasibility"], 1e-6)
        self.assertEqual(m["opt_iters"], [r["major"] for r in h["iterations"]][1:])
        self.assertEqual((m["optimizer"], m["exit_status"], m["adjoint_residual_drop_orders"]), ("SLSQP", self.status, None))
        self.assertEqual(set(m["flow_residual_drop_orders"]), {"Ux", "Uy", "Uz", "p", "nuTilda"})
        self.assertTrue(all(v > 2 for v in m["flow_residual_drop_orders"].values()))
        self.assertAlmostEqual(m["optimized_design_variables"]["Wing:XSec_1:Twist"], 1.0, places=3)
        self.assertEqual(m["baseline_design_variables"]["angle_of_attack"], 2.0)
        self.assertEqual((m["last_tol_val"], m["last_tol_thr"], m["last_primal_converged"]), (1e-7, 2e-6, True))
        self.assertEqual(m["final_con"]["CL_target"], 0.25)
        self.assertEqual(m["primal_solves"], self.problem.primal_solves)
        json.dumps(m, allow_nan=False)

    def test_adjoint_residuals_in_the_log_are_kept_apart_from_the_flow_residuals(self):
        log = os.path.join(self.case, "log_optimization.txt")
        with open(log, "a", encoding="utf-8") as f:
            for value in (1.0, 1e-2, 1e-4):
                f.write(f"Time = 1\nsmoothSolver:  Solving for Uax, Initial residual = {value}, Final residual = 1e-9,"
                        f" No Iterations 3\nDICPCG:  Solving for pa, Initial residual = {value / 10}, Final "
                        "residual = 1e-9, No Iterations 5\n")
        self.addCleanup(shutil.copy, os.path.join(DATA, "cfd_simplefoam_converged.log"), log)
        m = self.metrics()
        self.assertAlmostEqual(m["adjoint_residual_drop_orders"], 4.0)
        self.assertNotIn("Uax", m["flow_residual_drop_orders"])

    def test_the_scaling_report_lists_variables_objective_and_constraints_with_their_scales(self):
        self.problem.fd_step = 0.02
        scaling_report.write_report(self.case, self.problem, "SLSQP", "Mach 0.3", "exact")
        tables = scaling_report.read_report_tables(os.path.join(self.case, scaling_report.REPORT))
        self.assertEqual([r["variable"] for r in tables["Design variables"]], ["Wing:XSec_1:Twist", "angle_of_attack"])
        self.assertEqual([float(r["scale"]) for r in tables["Design variables"]], [5.0, 10.0])
        self.assertEqual([float(r["finite-difference step"]) for r in tables["Design variables"]], [0.1, 0.2])
        self.assertAlmostEqual(float(tables["Objective"][0]["scale"]), self.problem.cd0, places=6)
        self.assertEqual([(r["constraint"], r["bound"]) for r in tables["Constraints"]],
                         [("lift coefficient", "0.25"), ("thickness ratio", "0.9")])

    def test_history_figures_are_drawn_and_say_when_no_adjoint_ran(self):
        written = history_plots.plot_history(self.case, "OptView.hst", "opt_SLSQP.txt")
        names = sorted(os.path.basename(p) for p in written)
        self.assertEqual(names, sorted(["general_opt_hst_cd.png", "general_opt_hst_cl.png", "general_opt_hst_patchv.png",
                                        "general_opt_hst_feasibility.png", "general_opt_hst_optimality.png",
                                        "general_opt_hst_design_variables.png", "general_residual_adjoint.png",
                                        "general_opt_confirmation.png"]))
        for path in written:
            self.assertGreater(os.path.getsize(path), 10000, path)


class TargetLift(unittest.TestCase):
    """Drags are compared at the target lift: a design that met the lift constraint only to its
    tolerance does not get credit for the drag the missing lift would have cost."""

    def history_with(self, final_cl, final_cd, slope):
        case = tempfile.mkdtemp(prefix="orvanta_opt_lift_")
        self.addCleanup(shutil.rmtree, case)
        path = os.path.join(case, "OptView.hst")
        h = HistoryWriter(path)
        h.set_meta(optimizer="SLSQP", lift_target=0.5, lift_scale=0.5,
                   design_variables=[{"name": "Wing:XSec_1:Twist"}, {"name": "angle_of_attack"}])
        base = h.add_evaluation({"design": {}, "x": [0.0, 0.0], "cd": 0.03, "cl": 0.5, "feasibility": 0.0})
        final = h.add_evaluation({"design": {}, "x": [0.1, -0.1], "cd": final_cd, "cl": final_cl,
                                  "feasibility": abs(final_cl - 0.5)})
        # Per unit of x: dCD/dalpha = 0.0006 and dCL/dalpha = 0.01 give dCD/dCL = 0.06 (scaled as stored).
        for e in (base, final):
            h.add_gradient(e, "central differences", [1e-4 / 0.03, slope * 0.01 / 0.03],
                           [[0.0, 0.01 / 0.5]], [0.05, 0.05], 4, 1.0, 2)
        h.set_meta(baseline_evaluation=base, final_evaluation=final, exit_status="done", primal_solves=2)
        h.close()
        shutil.copy(os.path.join(DATA, "cfd_simplefoam_converged.log"), os.path.join(case, "log_optimization.txt"))
        return case

    def test_a_drop_bought_with_missing_lift_is_no_reduction(self):
        case = self.history_with(final_cl=0.499, final_cd=0.02995, slope=0.06)
        m = analysis_metrics.optimization_metrics(case, "opt_SLSQP.txt", "OptView.hst", "none", "cfg.json")
        self.assertAlmostEqual(m["drag_lift_slope"], 0.06)
        self.assertAlmostEqual(m["objective_final_at_target_lift"], 0.02995 + 0.06e-3)
        self.assertAlmostEqual(m["objective_initial_at_target_lift"], 0.03)
        self.assertLess(m["objective_reduction_pct"], 0.0)  # as solved it would read +0.17 %
        self.assertEqual(m["reduction_basis"], "at the target lift")
        self.assertIn("at the target lift", analysis_metrics.summary_line(m))

    def test_without_an_angle_derivative_the_drags_are_compared_as_solved_and_the_basis_says_so(self):
        history = read_history(os.path.join(self.history_with(0.499, 0.02995, 0.06), "OptView.hst"))
        history["meta"]["design_variables"] = [{"name": "Wing:XSec_1:Twist"}]
        self.assertEqual(target_lift.drag_lift_slopes(history), {})
        self.assertIsNone(target_lift.slope_for({}, 2))
        self.assertEqual(target_lift.slope_for({1: 0.05, 4: 0.07}, 3), 0.05)  # a line-search point: last gradient
        self.assertEqual(target_lift.slope_for({4: 0.07}, 2), 0.07)
        self.assertIsNone(target_lift.cd_at_target({"cd": float("nan"), "cl": 0.5}, 0.5, 0.06))

    def test_the_fake_runs_slope_is_its_analytic_drag_lift_slope(self):
        case = tempfile.mkdtemp(prefix="orvanta_opt_lift_fake_")
        self.addCleanup(shutil.rmtree, case)
        problem, x, _ = finished_run(case, "SLSQP")
        shutil.copy(os.path.join(DATA, "cfd_simplefoam_converged.log"), os.path.join(case, "log_optimization.txt"))
        m = analysis_metrics.optimization_metrics(case, "opt_SLSQP.txt", "OptView.hst", "none", "cfg.json")
        _, a = problem.space.physical(np.array(x))
        self.assertAlmostEqual(m["drag_lift_slope"], 0.0008 * a / 0.1, places=6)  # cd ~ 0.0004 a^2, cl ~ 0.1 a


class History(unittest.TestCase):
    def test_optimality_is_filled_in_once_and_foreign_files_are_refused(self):
        case = tempfile.mkdtemp(prefix="orvanta_opt_hist_")
        self.addCleanup(shutil.rmtree, case)
        path = os.path.join(case, "OptView.hst")
        h = HistoryWriter(path)
        h.add_iteration(0, 1, 1.0, 0.03, 0.3, 2.0, 0.2, None, 1, 1.0)
        h.set_optimality(1, 0.5)
        h.set_optimality(1, 0.1)
        h.close()
        self.assertEqual(read_history(path)["iterations"][0]["optimality"], 0.5)
        other = os.path.join(case, "other.hst")
        sqlite3.connect(other).execute("CREATE TABLE t (a)").connection.commit()
        with self.assertRaises(ValueError):
            read_history(other)
        with self.assertRaises(FileNotFoundError):
            read_history(os.path.join(case, "missing.hst"))


class Refusals(unittest.TestCase):
    """The driver itself, run as the host runs it, with optimizers it must not run."""

    def setUp(self):
        self.case = tempfile.mkdtemp(prefix="orvanta_opt_refused_")
        self.addCleanup(shutil.rmtree, self.case)
        for name in ("script_run_dafoam.py", "script_workflow_helpers.py"):
            shutil.copy(os.path.join(ASSETS, name), self.case)
        shutil.copytree(os.path.join(ASSETS, "orvanta_case"), os.path.join(self.case, "orvanta_case"),
                        ignore=shutil.ignore_patterns("__pycache__"))

    def run_driver(self, optimizer):
        command = [sys.executable, "script_run_dafoam.py", "-task=run_driver", f"-optimizer={optimizer}",
                   "-angle_of_attack=2.0", "-mach_number=0.3", "-reference_area=16.8", "-reference_length=1.5"]
        result = subprocess.run(command, cwd=self.case, capture_output=True, text=True)
        with open(os.path.join(self.case, "log_optimization.txt"), "w", encoding="utf-8") as f:
            f.write(result.stdout + result.stderr)
        return result

    def test_snopt_is_refused_with_a_message_an_exit_status_and_no_work_done(self):
        result = self.run_driver("SNOPT")
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("SNOPT is not available: it is proprietary", result.stdout)
        with open(os.path.join(self.case, "opt_SNOPT_summary.txt"), encoding="utf-8") as f:
            self.assertIn("Run the optimization with optimizer SLSQP or IPOPT", f.read())
        h = read_history(os.path.join(self.case, "OptView.hst"))
        self.assertEqual((h["evaluations"], h["iterations"]), ([], []))
        self.assertFalse(os.path.exists(os.path.join(self.case, "opt_work")))
        subprocess.run([sys.executable, "script_workflow_helpers.py", "write-optimization-analysis", "--log-file",
                        "opt_SNOPT_summary.txt"], cwd=self.case, check=True, capture_output=True)
        with open(os.path.join(self.case, "optimization_analysis_metrics.json"), encoding="utf-8") as f:
            m = json.load(f)
        self.assertTrue(m["exit_status"].startswith("not run: SNOPT is not available"))
        self.assertEqual((m["opt_iters"], m["objective_reduction_pct"], m["primal_solves"]), ([], None, 0))

    def test_an_unknown_optimizer_is_named_in_its_refusal(self):
        result = self.run_driver("NEWTON")
        self.assertEqual(result.returncode, 2)
        self.assertIn("Unknown optimizer 'NEWTON'", result.stdout)
        self.assertTrue(os.path.isfile(os.path.join(self.case, "opt_SLSQP.txt")))


if __name__ == "__main__":
    unittest.main()


class CostAnnouncement(unittest.TestCase):
    def test_the_iteration_estimate_comes_from_the_baseline_pace_with_the_iteration_limit_as_bound(self):
        import contextlib
        import io
        import re
        from types import SimpleNamespace
        from orvanta_case.optimization import driver

        flow = SimpleNamespace(seconds=100.0, total_iterations=500, iterations=80)  # 0.2 s per iteration
        problem = SimpleNamespace(space=[0, 1, 2], nominal=SimpleNamespace(settings=SimpleNamespace(max_iterations=600)))
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            driver.estimate_iteration(problem, SimpleNamespace(flow=flow), n_ranks=2, n_slots=2, scheme="forward")
        about, longest = map(float, re.search(r"about ([\d.]+) min, up to ([\d.]+) min", out.getvalue()).groups())
        # Own solution 60 iterations at 0.2 s; 2 rounds of perturbed solutions on one rank each (0.32 s).
        self.assertAlmostEqual(about, (12 + 2 * (110 * 0.32 + 5)) / 60, places=1)
        self.assertAlmostEqual(longest, (12 + 2 * (600 * 0.32 + 5)) / 60, places=1)
        self.assertIn("limit of 600 iterations", out.getvalue())
