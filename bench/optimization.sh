#!/usr/bin/env bash
# A drag optimization of the packaged aircraft at Mach 0.3 and CL 0.5 with the skill's default
# design set (twist at the three outboard stations, upper and lower CST coefficients at three
# stations, the angle of attack) on 2 ranks, confirmed by the driver on a mesh one surface
# level finer. Reports the optimization mesh's reduction at the target lift, the confirmed
# drags and reduction, feasibility, iterations, flow solutions and wall times.
# A report, not a test:   bench/optimization.sh [build dir]
# OPT_LEVEL sets the optimization mesh's surface level (default 5), OPT_ITERS the optimizer's
# major iterations (default 4), OPT_MACH and OPT_CL the flight condition, OPT_ALPHA the
# starting angle, OPT_WORK reuses a work folder (a mesh already made is kept), OPT_ADV adds
# advanced parameters (name=value, space separated).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
bin="$build/apps/orvanta/orvanta"
level="${OPT_LEVEL:-5}"
work="${OPT_WORK:-$(mktemp -d /tmp/orvanta_bench_opt_XXXXXX)}"
mkdir -p "$work"
trap '"$bin" viewers stop --all >/dev/null 2>&1 || true' EXIT
export KESTRAN_WORK_DIR="$work" ORVANTA_CI=1
extra=()
for item in ${OPT_ADV:-}; do extra+=(--adv "$item"); done

mesh="mesh_l$level"
if [ ! -d "$work/$mesh/constant/polyMesh" ]; then
  start=$(date +%s)
  "$bin" run generate-cfd-mesh --case "$mesh" --set surface_level="$level" --set n_cpus=2 --wait \
    > "$work/$mesh.txt" 2>&1
  echo "mesh level $level: $(( $(date +%s) - start )) s"
fi
case="opt_l$level"
rm -rf "${work:?}/$case"
start=$(date +%s)
"$bin" run run-aero-optimization --case "$case" --mesh-case "$mesh" --set n_cpu_cores=2 \
  --set mach_number="${OPT_MACH:-0.3}" --set lift_constraint="${OPT_CL:-0.5}" \
  --set angle_of_attack="${OPT_ALPHA:-4.4}" --set max_opt_iters="${OPT_ITERS:-4}" "${extra[@]}" --wait \
  > "$work/$case.txt" 2>&1 || true
seconds=$(( $(date +%s) - start ))
grep "^orvanta-opt" "$work/$case/log_optimization.txt" | grep -v "^orvanta-opt: variable" || true
python3 - "$work/$case/optimization_analysis_metrics.json" "$seconds" <<'PY'
import json, sys
m = json.load(open(sys.argv[1]))
def f(v, fmt):
    return "n/a" if v is None else format(v, fmt)
print(f"optimization mesh: CD at the target lift {f(m['objective_initial_at_target_lift'], '.6g')} -> "
      f"{f(m['objective_final_at_target_lift'], '.6g')} ({f(m['objective_reduction_pct'], '+.3f')} %), "
      f"feasibility {f(m['final_feasibility'], '.3g')}, {len(m['opt_iters'])} major iterations, "
      f"{m['primal_solves']} flow solutions; {m['exit_status']}")
print(f"confirmed at level {m['confirmed_surface_level']} ({f(m['confirmed_cells'], ',')} cells): CD "
      f"{f(m['confirmed_cd_baseline'], '.6g')} -> {f(m['confirmed_cd_optimized'], '.6g')} "
      f"({f(m['confirmed_reduction_pct'], '+.3f')} %), trusted {m['confirmation_trusted']}"
      + (f"; error: {m['confirmation_error']}" if m.get("confirmation_error") else ""))
print(f"wall time {int(sys.argv[2])} s (driver {f(m['wall_time_s'], '.0f')} s)")
print("design variables:", json.dumps(m["optimized_design_variables"]))
PY
echo "cases kept in $work"
