#!/usr/bin/env bash
# The CFD skill's own command lists, taken from dry runs of its phases, executed for real on
# a tiny mesh of the packaged aircraft (surface level 2, two layers), with few iterations:
#   a: rhoSimpleFoam cold start on 2 MPI ranks, then the analysis commands: the log must hold
#      a primal run with force coefficients, the exported surface the fields U p T rho nut,
#      every figure must be drawn (y+ too) and the metrics written, with the drag split and
#      the final y+, the review must grade them;
#   b: simpleFoam warm-started from a (same mesh: copied) and aimed at a lift coefficient,
#      so it restarts at a corrected angle: two primal runs, pressure exported in pascals,
#      drag split and y+ of the last run;
#   c: the warm start staged onto a different mesh (mapFields).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
src="${ORVANTA_SOURCE_DIR:-$here/../..}"
bin="$(command -v "${ORVANTA_BIN:-orvanta}")"
py=/usr/bin/python3
work="$(mktemp -d /tmp/orvanta_cfd_assets_XXXXXX)"
trap 'rm -rf "$work"' EXIT

export WM_PROJECT_DIR="${WM_PROJECT_DIR:-/usr/share/openfoam}" ORVANTA_BIN="$bin"
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 ORVANTA_CI=1
mkdir -p "$work/bin" && ln -s "$py" "$work/bin/python" && export PATH="$work/bin:$PATH"
runner="$here/mesh_fixture/run_command_list.py"

fail() { echo "FAIL: $*" >&2; exit 1; }
# The new metrics of a case against the solver's own report in its log: the drag parts add
# up to the total, and y+ is positive and spans what the yPlus function object printed for
# the final solution. The y+ values must sit on the aircraft's faces of the export: nut,
# also in the export, must be the aircraft's nut there.
check_wall_metrics() {  # case directory
  "$py" - "$1" "$src" <<'PY' || fail "$1: drag split, y+ or wall shear"
import json, math, os, re, sys
import numpy as np
import vtk
from vtk.util.numpy_support import vtk_to_numpy
case = sys.argv[1]
sys.path.insert(0, case)
from orvanta_case import foam_files, y_plus
m = json.load(open(os.path.join(case, "cfd_analysis_metrics.json")))
print({k: m[k] for k in ("final_cd", "cd_pressure", "cd_viscous", "y_plus")})
assert abs(m["cd_pressure"] + m["cd_viscous"] - m["final_cd"]) <= 1e-9, m
assert m["cd_pressure"] > 0 and m["cd_viscous"] > 0, m
w = m["y_plus"]
assert 0 < w["min"] <= w["mean"] <= w["max"], w
log = open(os.path.join(case, "log_simulation.txt")).read()
low, high = map(float, re.findall(r"patch aircraft y\+ : min = (\S+), max = (\S+),", log)[-1])
assert math.isclose(w["min"], low, rel_tol=1e-9) and math.isclose(w["max"], high, rel_tol=1e-9), (w, low, high)
reader = vtk.vtkXMLPolyDataReader()
reader.SetFileName(os.path.join(case, "VTK", "boundary.vtp"))
reader.Update()
exported = vtk_to_numpy(reader.GetOutput().GetCellData().GetArray("nut"))
first, count = y_plus.exported_range(foam_files.boundary_patches(
    foam_files.read(os.path.join(case, "constant", "polyMesh", "boundary"))))
latest = foam_files.latest_time(case)
nut = foam_files.patch_scalar_values(foam_files.read(os.path.join(case, latest, "nut")), "aircraft", count)
assert np.allclose(exported[first:first + count], nut, rtol=1e-6, atol=1e-12 * nut.max()), "faces out of order"
# The wall shear stress comes with the final fields; attached flow covers most of the aircraft.
sys.path.insert(0, os.path.join(sys.argv[2], "bench"))
import separation_check
report = separation_check.check(case)
print(report)
assert 0 <= report["aircraft_reversed_area_pct"] < 50, report
for region in ("tail_cone", "wing_trailing_edge"):
    assert report[f"{region}_reversed_area_pct"] is not None, report
PY
}
stage() {  # case directory: the asset package as the host stages it
  mkdir -p "$1"
  (cd "$src/assets/aircraft_assets" && tar --exclude=__pycache__ -cf - .) | (cd "$1" && tar -xf -)
}
bring_mesh() {  # case directory: the mesh case's outputs the host brings in
  cp -r "$work/mesh/constant/polyMesh" "$1/constant/"
  cp "$work/mesh/aircraft.vsp3" "$work/mesh/vsp_design_vars.json" "$work/mesh/aircraft.stl" "$1/"
}
phase() {  # skill phase case [extra arguments]: prints the phase output (JSON)
  "$bin" phase "$1" "$2" --case-dir "$3" "${@:4}"
}
run_list() {  # dry-run JSON, case directory, log to show on failure
  "$py" "$runner" --dry-run-json "$1" --case-dir "$2" > "$1.status"
  "$py" - "$1.status" <<'PY' || { tail -40 "$2/$3"; fail "a command of $1 failed"; }
import json, sys
failed = [c for c in json.load(open(sys.argv[1]))["commands"] if c["status"] != 0]
for c in failed:
    print(f"exit {c['status']}: {c['command']}")
sys.exit(1 if failed else 0)
PY
}

# The mesh, by the mesh skill's own run list.
start=$(date +%s)
stage "$work/mesh"
phase generate-cfd-mesh run "$work/mesh" --dry-run \
  --inputs '{"surface_level": 2, "n_boundary_layers": 2, "n_cpus": 2}' > "$work/mesh_run.json"
run_list "$work/mesh_run.json" "$work/mesh" log_mesh.txt
echo "mesh: $(( $(date +%s) - start )) s, $(grep -o 'cells: *[0-9]*' "$work/mesh/log_mesh.txt" | tail -1)"

# a: cold start, 2 ranks, 40 iterations, then the analysis.
a="$work/cfd_a"
stage "$a" && bring_mesh "$a"
adv_a='{"max_flow_iters": 40}'
phase run-cfd-simulation prepare "$a" --inputs '{"n_cpu_cores": 2}' --adv-params "$adv_a" > /dev/null
phase run-cfd-simulation run "$a" --dry-run --adv-params "$adv_a" > "$work/run_a.json"
start=$(date +%s)
run_list "$work/run_a.json" "$a" log_simulation.txt
echo "case a run: $(( $(date +%s) - start )) s"
grep -q "^Starting time loop" "$a/log_simulation.txt" || fail "case a: no primal run in the log"
[ "$(grep -c '^Time = ' "$a/log_simulation.txt")" -ge 40 ] || fail "case a: fewer than 40 iterations"
[ -f "$a/VTK/boundary.vtp" ] || fail "case a: no VTK/boundary.vtp"
"$py" - "$a/VTK/boundary.vtp" 101325 <<'PY' || fail "case a: the exported surface is not a flow solution"
import sys
import numpy as np
import vtk
from vtk.util.numpy_support import vtk_to_numpy
reader = vtk.vtkXMLPolyDataReader()
reader.SetFileName(sys.argv[1])
reader.Update()
cells = reader.GetOutput().GetCellData()
names = sorted(cells.GetArrayName(i) for i in range(cells.GetNumberOfArrays()))
assert names == ["T", "U", "nut", "p", "rho"], names
p = vtk_to_numpy(cells.GetArray("p"))
rho = vtk_to_numpy(cells.GetArray("rho"))
T = vtk_to_numpy(cells.GetArray("T"))
assert 0.8 * float(sys.argv[2]) < p.min() and p.max() < 1.2 * float(sys.argv[2]), (p.min(), p.max())
assert 1.0 < rho.mean() < 1.5 and 250 < T.mean() < 320, (rho.mean(), T.mean())
assert np.isfinite(p).all() and p.std() > 10, p.std()  # a pressure field, not the freestream
print(f"surface: {len(p)} faces, p {p.min():.0f}..{p.max():.0f} Pa")
PY

phase run-cfd-simulation analyze "$a" --dry-run > "$work/analyze_a.json"
# The metrics command prints its summary, so the list runs in one shell of its own here.
"$py" -c '
import json, sys
calls = json.load(open(sys.argv[1]))["host_calls"]
print("\n".join(next(c["arguments"]["commands"] for c in calls if c["operation"] == "_execute_commands")))
' "$work/analyze_a.json" > "$work/analyze_a.sh"
(cd "$a" && bash "$work/analyze_a.sh" > "$work/analyze_a.out" 2>&1) ||
  fail "case a: the analysis failed ($(tail -5 "$work/analyze_a.out"; tail -5 "$a/log_plot_cfd.txt"))"
grep -q "^CFD: CD " "$work/analyze_a.out" || fail "case a: no metrics summary ($(cat "$work/analyze_a.out"))"
figures="general_residual_cfd general_function_cd general_function_cl general_function_cm
  aircraft_flow_field_Cp_3d aircraft_flow_field_U_3d aircraft_pressure_profile_y0p25
  aircraft_pressure_profile_y0p5 aircraft_pressure_profile_y0p75 aircraft_surface_y_plus"
for name in $figures; do
  png="$a/plots/$name.png"
  [ -f "$png" ] || fail "missing figure $png ($(tail -5 "$a/log_plot_cfd.txt"))"
  "$py" -c '
import sys
import matplotlib.image as image
pixels = image.imread(sys.argv[1])
assert pixels.shape[0] >= 600 and pixels.shape[1] >= 900, pixels.shape
drawn = (pixels[..., :3].std(axis=2) > 0.02).mean()  # coloured pixels: curves, surfaces
assert drawn > 0.002, f"{sys.argv[1]}: only {drawn:.2%} of the figure is coloured"
' "$png" || fail "figure $png looks empty"
done
phase run-cfd-simulation review_analyze "$a" --dry-run > "$work/review_a.json"
"$py" - "$work/review_a.json" "$a/cfd_analysis_metrics.json" <<'PY' || fail "case a: metrics or review"
import json, sys
review = json.load(open(sys.argv[1]))["result"]
metrics = json.load(open(sys.argv[2]))
print({k: review.get(k) for k in ("status", "final_cd", "final_cl", "cd_stddev", "note")})
assert review["status"] in ("pass", "warning", "fail") and len(review["plots"]) == 10, review
assert metrics["n_primal_runs"] == 1 and metrics["has_nan_inf"] is False, metrics
assert 0.01 < metrics["final_cd"] < 0.2 and 0.1 < metrics["final_cl"] < 0.6, metrics
assert set(metrics["residual_drop_orders"]) == {"Ux", "Uy", "Uz", "e", "p", "nuTilda"}, metrics
assert review["final_cd"] == metrics["final_cd"]
PY
check_wall_metrics "$a"
cl_a="$("$py" -c 'import json,sys; print(json.load(open(sys.argv[1]))["final_cl"])' "$a/cfd_analysis_metrics.json")"

# b: warm start from a (a relative name, as the model gives it), incompressible, aimed at
# a lift coefficient a little above a's.
b="$work/cfd_b"
stage "$b" && bring_mesh "$b"
adv_b='{"max_flow_iters": 140, "initialize_from": "cfd_a", "solver_name": "DASimpleFoam"}'
target="$("$py" -c "print(round($cl_a + 0.06, 4))")"
phase run-cfd-simulation prepare "$b" --inputs "{\"n_cpu_cores\": 2, \"fixed_lift_coeff\": $target}" \
  --adv-params "$adv_b" > /dev/null
phase run-cfd-simulation run "$b" --dry-run --adv-params "$adv_b" > "$work/run_b.json"
start=$(date +%s)
run_list "$work/run_b.json" "$b" log_simulation.txt
echo "case b run: $(( $(date +%s) - start )) s"
grep -q "warm start copied from $a" "$b/log_warmstart.txt" || fail "case b: no warm start ($(cat "$b/log_warmstart.txt"))"
grep -q "orvanta-flow: warm start: internal fields U, p, nut, nuTilda" "$b/log_simulation.txt" ||
  fail "case b: the driver did not start from the staged fields"
[ "$(grep -c '^Starting time loop' "$b/log_simulation.txt")" -ge 2 ] || fail "case b: no restart at a new angle"
grep -q "orvanta-flow: primal run at angle of attack 2 deg" "$b/log_simulation.txt" || fail "case b: first angle"
"$py" - "$b" "$a/cfd_analysis_metrics.json" <<'PY' || fail "case b: warm start, lift or pascals"
import json, os, re, sys
import numpy as np
import vtk
from vtk.util.numpy_support import vtk_to_numpy
case = sys.argv[1]
log = open(os.path.join(case, "log_simulation.txt")).read()
first_p = float(re.search(r"Solving for p, Initial residual = (\S+),", log).group(1))
assert first_p < 0.5, f"a warm start should not begin with a freestream's residual, got {first_p}"
solution = json.load(open(os.path.join(case, "flow_solution.json")))
assert len(solution["runs"]) >= 2 and solution["angle_of_attack"] > 2.0, solution
reader = vtk.vtkXMLPolyDataReader()
reader.SetFileName(os.path.join(case, "VTK", "boundary.vtp"))
reader.Update()
p = vtk_to_numpy(reader.GetOutput().GetCellData().GetArray("p"))
assert 80000 < p.min() and p.max() < 120000, (p.min(), p.max())  # pascals, not m2/s2
print(f"case b: {len(solution['runs'])} runs, angle {solution['angle_of_attack']:.3f} deg, CL {solution['cl']:.4f}")
PY
(cd "$b" && python script_workflow_helpers.py write-cfd-analysis --log-file log_simulation.txt \
  --output-file cfd_analysis_metrics.json > "$work/analysis_b.out" 2>&1) ||
  fail "case b: the metrics failed ($(tail -5 "$work/analysis_b.out"))"
check_wall_metrics "$b"

# c: a's solution staged onto a different mesh (the same one shifted by a micrometre).
c="$work/cfd_c"
stage "$c" && bring_mesh "$c"
(cd "$c" && transformPoints -translate '(1e-6 0 0)' > "$work/transform.log" 2>&1) || fail "transformPoints"
phase run-cfd-simulation prepare "$c" > /dev/null
(cd "$c" && python script_workflow_helpers.py stage-warm-start --initialize-from cfd_a --case-dir . \
  > log_warmstart.txt 2>&1) || fail "case c: staging failed ($(tail -20 "$c/log_warmstart.txt"))"
"$py" - "$c" <<'PY' || fail "case c: mapped fields"
import json, os, re, sys
case = sys.argv[1]
record = json.load(open(os.path.join(case, "warm_start", "source.json")))
assert record["method"] == "mapped" and {"U", "p", "T", "nuTilda"} <= set(record["fields"]), record
cells = int(re.search(r"nCells:\s*(\d+)", open(os.path.join(case, "constant", "polyMesh", "owner")).read()).group(1))
u = open(os.path.join(case, "warm_start", "U")).read()
assert re.search(r"internalField\s+nonuniform List<vector>\s*%d\b" % cells, u), "U does not cover every cell"
assert not os.path.exists(os.path.join(case, "warm_start_mapping")), "scratch case left behind"
PY
# A bad source stops the run's chain with the helper's status and a clear message.
if (cd "$c" && python script_workflow_helpers.py stage-warm-start --initialize-from no_such_case --case-dir . \
    > "$work/bad.log" 2>&1); then fail "a missing warm-start source was accepted"; fi
grep -q "is not a case directory" "$work/bad.log" || fail "unclear message: $(cat "$work/bad.log")"
echo "cfd assets pipeline: OK"
