"""IPOPT through its C interface (IpStdCInterface of Debian's coinor-libipopt1v5, 3.11),
called with ctypes: Debian ships no Python binding.

Only first derivatives are passed; the Hessian of the Lagrangian is left to IPOPT's
limited-memory quasi-Newton approximation. Exceptions raised in a callback cannot cross
the C library, so each callback catches them, keeps the first, and tells IPOPT the
evaluation failed; `solve` raises it again once IPOPT has returned.
"""

import ctypes
import math

import numpy as np

LIBRARY_NAMES = ("libipopt.so.1", "libipopt.so")
# IPOPT reads bounds at or beyond +-1e19 as infinite (nlp_lower/upper_bound_inf).
INFINITY = 2e19

RETURN_STATUS = {
    0: "Solve_Succeeded", 1: "Solved_To_Acceptable_Level", 2: "Infeasible_Problem_Detected",
    3: "Search_Direction_Becomes_Too_Small", 4: "Diverging_Iterates", 5: "User_Requested_Stop",
    6: "Feasible_Point_Found", -1: "Maximum_Iterations_Exceeded", -2: "Restoration_Failed",
    -3: "Error_In_Step_Computation", -4: "Maximum_CpuTime_Exceeded", -10: "Not_Enough_Degrees_Of_Freedom",
    -11: "Invalid_Problem_Definition", -12: "Invalid_Option", -13: "Invalid_Number_Detected",
    -100: "Unrecoverable_Exception", -101: "NonIpopt_Exception_Thrown", -102: "Insufficient_Memory",
    -199: "Internal_Error",
}

_Number, _Index, _Bool = ctypes.c_double, ctypes.c_int, ctypes.c_int
_P_Number, _P_Index = ctypes.POINTER(_Number), ctypes.POINTER(_Index)
_EVAL_F = ctypes.CFUNCTYPE(_Bool, _Index, _P_Number, _Bool, _P_Number, ctypes.c_void_p)
_EVAL_GRAD_F = ctypes.CFUNCTYPE(_Bool, _Index, _P_Number, _Bool, _P_Number, ctypes.c_void_p)
_EVAL_G = ctypes.CFUNCTYPE(_Bool, _Index, _P_Number, _Bool, _Index, _P_Number, ctypes.c_void_p)
_EVAL_JAC_G = ctypes.CFUNCTYPE(_Bool, _Index, _P_Number, _Bool, _Index, _Index, _P_Index, _P_Index, _P_Number,
                               ctypes.c_void_p)
_EVAL_H = ctypes.CFUNCTYPE(_Bool, _Index, _P_Number, _Bool, _Number, _Index, _P_Number, _Bool, _Index, _P_Index,
                           _P_Index, _P_Number, ctypes.c_void_p)
_INTERMEDIATE = ctypes.CFUNCTYPE(_Bool, _Index, _Index, _Number, _Number, _Number, _Number, _Number, _Number,
                                 _Number, _Number, _Index, ctypes.c_void_p)


class IpoptUnavailable(RuntimeError):
    pass


def load_library():
    """The IPOPT shared library with its C interface declared; IpoptUnavailable if absent."""
    errors = []
    for name in LIBRARY_NAMES:
        try:
            lib = ctypes.CDLL(name)
            break
        except OSError as error:
            errors.append(str(error))
    else:
        raise IpoptUnavailable("the IPOPT library could not be loaded (" + "; ".join(errors) +
                               "); Debian's coinor-libipopt1v5 provides it")
    lib.CreateIpoptProblem.restype = ctypes.c_void_p
    lib.CreateIpoptProblem.argtypes = [_Index, _P_Number, _P_Number, _Index, _P_Number, _P_Number, _Index, _Index,
                                       _Index, _EVAL_F, _EVAL_G, _EVAL_GRAD_F, _EVAL_JAC_G, _EVAL_H]
    lib.FreeIpoptProblem.argtypes = [ctypes.c_void_p]
    lib.AddIpoptStrOption.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p]
    lib.AddIpoptNumOption.argtypes = [ctypes.c_void_p, ctypes.c_char_p, _Number]
    lib.AddIpoptIntOption.argtypes = [ctypes.c_void_p, ctypes.c_char_p, _Index]
    lib.OpenIpoptOutputFile.argtypes = [ctypes.c_void_p, ctypes.c_char_p, _Index]
    lib.SetIntermediateCallback.argtypes = [ctypes.c_void_p, _INTERMEDIATE]
    lib.IpoptSolve.restype = ctypes.c_int
    lib.IpoptSolve.argtypes = [ctypes.c_void_p, _P_Number, _P_Number, _P_Number, _P_Number, _P_Number, _P_Number,
                               ctypes.c_void_p]
    for name in ("AddIpoptStrOption", "AddIpoptNumOption", "AddIpoptIntOption", "OpenIpoptOutputFile",
                 "SetIntermediateCallback"):
        getattr(lib, name).restype = _Bool
    return lib


def _array(values):
    a = np.ascontiguousarray(values, dtype=float)
    return a, a.ctypes.data_as(_P_Number)


class IpoptResult:
    def __init__(self, status, x, objective, constraints, multipliers):
        self.status = status
        self.message = RETURN_STATUS.get(status, f"status {status}")
        self.x, self.objective, self.constraints, self.multipliers = x, objective, constraints, multipliers


class _Callbacks:
    """The C callbacks IPOPT calls, over a problem of n variables and m constraints. An
    exception cannot cross the C library: the first one is kept, every later call returns
    its fallback so that IPOPT ends, and solve() raises it again."""

    def __init__(self, problem, n, m, intermediate):
        self.problem, self.n, self.m, self.intermediate = problem, n, m, intermediate
        self.failure = []
        self.c_functions = (_EVAL_F(self._guarded(self.eval_f)), _EVAL_G(self._guarded(self.eval_g)),
                            _EVAL_GRAD_F(self._guarded(self.eval_grad_f)),
                            _EVAL_JAC_G(self._guarded(self.eval_jac_g)), _EVAL_H(self.eval_h))
        self.c_intermediate = _INTERMEDIATE(self._guarded(self.on_iteration))

    def _guarded(self, function, fallback=0):
        def wrapper(*args):
            if self.failure:
                return fallback
            try:
                return function(*args)
            except BaseException as error:  # noqa: BLE001 - cannot cross the C library; raised again below
                self.failure.append(error)
                return fallback
        return wrapper

    def x_of(self, x_ptr):
        return np.ctypeslib.as_array(x_ptr, shape=(self.n,)).copy()

    def eval_f(self, _n, x_ptr, _new, out, _data):
        value = float(self.problem.objective(self.x_of(x_ptr)))
        out[0] = value
        return int(math.isfinite(value))

    def eval_grad_f(self, _n, x_ptr, _new, out, _data):
        g = np.asarray(self.problem.gradient(self.x_of(x_ptr)), dtype=float)
        for i in range(self.n):
            out[i] = g[i]
        return int(np.all(np.isfinite(g)))

    def eval_g(self, _n, x_ptr, _new, _m, out, _data):
        c = np.asarray(self.problem.constraints(self.x_of(x_ptr)), dtype=float)
        for i in range(self.m):
            out[i] = c[i]
        return int(np.all(np.isfinite(c)))

    def eval_jac_g(self, _n, x_ptr, _new, _m, _nele, rows, cols, values, _data):
        n, m = self.n, self.m
        if not values:  # the structure: dense, row-major
            for k in range(m * n):
                rows[k], cols[k] = k // n, k % n
            return 1
        jac = np.asarray(self.problem.jacobian(self.x_of(x_ptr)), dtype=float).reshape(m, n)
        for k, v in enumerate(jac.ravel()):
            values[k] = v
        return int(np.all(np.isfinite(jac)))

    @staticmethod
    def eval_h(*_args):
        return 0  # never called with the limited-memory Hessian

    def on_iteration(self, _mode, iteration, objective, inf_pr, inf_du, *_rest):
        return int(self.intermediate is None or self.intermediate(iteration, objective, inf_pr, inf_du) is not False)


def solve(problem, x0, bounds, constraint_bounds, options, output_file=None, print_level=5, intermediate=None):
    """Minimises problem.objective(x) subject to constraint_bounds[0] <= problem.constraints(x)
    <= constraint_bounds[1] and bounds[0] <= x <= bounds[1], with problem.gradient(x) and
    problem.jacobian(x) (dense, m x n). `intermediate(iteration, objective, inf_pr, inf_du)`
    is called after every iteration; returning False stops IPOPT."""
    lib = load_library()
    n, m = len(x0), len(constraint_bounds[0])
    callbacks = _Callbacks(problem, n, m, intermediate)
    x_l, p_xl = _array(bounds[0])
    x_u, p_xu = _array(bounds[1])
    g_l, p_gl = _array(constraint_bounds[0])
    g_u, p_gu = _array(constraint_bounds[1])
    handle = lib.CreateIpoptProblem(n, p_xl, p_xu, m, p_gl, p_gu, m * n, 0, 0, *callbacks.c_functions)
    if not handle:
        raise RuntimeError("IPOPT refused the problem definition (CreateIpoptProblem returned NULL)")
    try:
        _set_options(lib, handle, dict(options, hessian_approximation="limited-memory"))
        if output_file and not lib.OpenIpoptOutputFile(handle, output_file.encode(), print_level):
            raise RuntimeError(f"IPOPT could not open its output file {output_file}")
        lib.SetIntermediateCallback(handle, callbacks.c_intermediate)
        x, p_x = _array(x0)
        g, p_g = _array(np.zeros(m))
        mult_g, p_mg = _array(np.zeros(m))
        obj = _Number(0.0)
        status = lib.IpoptSolve(handle, p_x, p_g, ctypes.byref(obj), p_mg, None, None, None)
    finally:
        lib.FreeIpoptProblem(handle)
    if callbacks.failure:
        raise callbacks.failure[0]
    return IpoptResult(status, x.copy(), obj.value, g.copy(), mult_g.copy())


def _set_options(lib, handle, options):
    for key, value in options.items():
        if isinstance(value, str):
            ok = lib.AddIpoptStrOption(handle, key.encode(), value.encode())
        elif isinstance(value, int) and not isinstance(value, bool):
            ok = lib.AddIpoptIntOption(handle, key.encode(), value)
        else:
            ok = lib.AddIpoptNumOption(handle, key.encode(), float(value))
        if not ok:
            raise ValueError(f"IPOPT does not accept the option {key} = {value!r}")
