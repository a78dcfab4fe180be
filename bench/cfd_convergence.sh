#!/usr/bin/env bash
# Time to a converged flow solution of the packaged aircraft, per surface level: the mesh
# skill builds the mesh, the CFD skill runs with its default settings on 2 MPI ranks.
# Reports cells, iterations, solver wall time and CPU time of rank 0 (the machine may be
# shared: CPU time is what an unloaded machine would take), CPU seconds per iteration per
# million cells, the iteration at which every residual had dropped 3 orders, CD and its
# convergence.
# A report, not a test:   bench/cfd_convergence.sh [build dir] [levels...]
# Set CFD_BENCH_SET to extra inputs of the CFD skill (e.g. "angle_of_attack=4.0") and
# CFD_BENCH_TAG to tell such cases apart; CFD_BENCH_WORK reuses the meshes of a work folder.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"; shift || true
levels=("${@:-5 7}")
bin="$build/apps/orvanta/orvanta"
work="${CFD_BENCH_WORK:-$(mktemp -d /tmp/orvanta_bench_cfd_XXXXXX)}"
trap '"$bin" viewers stop --all >/dev/null 2>&1 || true' EXIT
export KESTRAN_WORK_DIR="$work" ORVANTA_CI=1
extra=()
for item in ${CFD_BENCH_SET:-}; do extra+=(--set "$item"); done

wait_run() {  # case: the chain's shell writes run_exit when it ends, passed or not
  while [ ! -f "$work/$1/.orvanta/run_exit" ]; do sleep 2; done
}

printf '%-6s %9s %6s %9s %7s %10s %8s %11s %10s %10s %s\n' level cells iters solver_s cpu_s s/it/Mcell \
  it_3ord cd cd_std cl verdict
for level in ${levels[@]}; do
  mesh="mesh_l$level"
  if [ ! -d "$work/$mesh/constant/polyMesh" ]; then
    "$bin" run generate-cfd-mesh --case "$mesh" --set surface_level="$level" --set n_cpus=2 >/dev/null
    wait_run "$mesh"
    # A mesh case counts as finished once its review has seen the run pass.
    "$bin" check "$mesh" > "$work/$mesh.check.txt" || true
  fi
  cfd="cfd_l$level${CFD_BENCH_TAG:-}"
  start=$(date +%s.%N)
  "$bin" run run-cfd-simulation --case "$cfd" --mesh-case "$mesh" --set n_cpu_cores=2 "${extra[@]}" >/dev/null
  wait_run "$cfd"
  end=$(date +%s.%N)
  "$bin" check "$cfd" > "$work/$cfd.check.txt" || true
  python3 - "$work/$cfd" "$level" "$start" "$end" <<'PY'
import json, math, os, re, sys
case, level, t0, t1 = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
owner = open(os.path.join(case, "constant", "polyMesh", "owner"), errors="ignore").read(4000)
cells = int(re.search(r"nCells:\s*(\d+)", owner).group(1))
log = open(os.path.join(case, "log_simulation.txt"), errors="ignore").read()
runs = re.findall(r"primal run (converged|stopped at its iteration limit) after (\d+) iterations \(([\d.]+) s\)", log)
iterations = sum(int(n) for _, n, _ in runs)
solver_s = sum(float(s) for _, _, s in runs)
# ExecutionTime restarts with every solver process: the last one of each run counts.
cpu_s = sum(float(found[-1]) for found in (re.findall(r"^ExecutionTime = ([\d.]+) s", part, re.M)
                                          for part in log.split("Starting time loop")[1:]) if found)
# Residual histories: the first "Solving for X" of each iteration.
residuals, seen = {}, set()
for line in log.splitlines():
    if line.startswith("Time = "):
        seen = set()
        continue
    m = re.search(r"Solving for (\w+), Initial residual = (\S+),", line)
    if m and m.group(1) not in seen:
        seen.add(m.group(1))
        residuals.setdefault(m.group(1), []).append(float(m.group(2)))
n = min(len(h) for h in residuals.values()) if residuals else 0
three = next((i + 1 for i in range(n) if all(h[i] <= 1e-3 * h[0] for h in residuals.values())), None)
metrics = {}
path = os.path.join(case, "cfd_analysis_metrics.json")
if os.path.isfile(path):
    metrics = json.load(open(path))
verdict = json.load(open(os.path.join(case, ".orvanta", "case.json"))).get("verdict", {}).get("status", "-")
per = cpu_s / max(iterations, 1) / (cells / 1e6)
converged = "converged" if runs and runs[-1][0] == "converged" else "not converged"
print(f"{level:<6} {cells:9d} {iterations:6d} {solver_s:9.1f} {cpu_s:7.1f} {per:10.2f} {str(three):>8} "
      f"{metrics.get('final_cd', float('nan')):11.6f} {metrics.get('cd_stddev') or float('nan'):10.2e} "
      f"{metrics.get('final_cl', float('nan')):10.5f} {verdict} ({converged}, whole run {t1 - t0:.0f} s)")
PY
done
echo "cases kept in $work"
