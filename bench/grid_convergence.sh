#!/usr/bin/env bash
# Grid convergence of the packaged aircraft at fixed lift: meshes at the given surface
# levels (default 5 6 7; the mesh skill's default 8 layers), each solved at CL 0.5 by the
# CFD skill (Mach 0.3, Re 1e6 per MAC, Spalart-Allmaras, 2 ranks), plus a second lift
# coefficient at the polar level for the span efficiency. Reports cells, mesh and solver
# wall times, CD and its pressure/friction split, alpha, y+, layer coverage, the observed
# order, the Richardson-extrapolated CD with its grid-convergence index, and a figure of CD
# against cell size (grid_convergence_cd.png in the output folder).
# A report, not a test:   bench/grid_convergence.sh [build dir] [levels...]
# GRID_WORK reuses a work folder (cases already solved are kept), GRID_CL sets the lift
# coefficient (GRID_ALPHA its starting angle), GRID_POLAR_LEVEL, GRID_POLAR_CL and
# GRID_POLAR_ALPHA the polar's level, second lift and starting angle.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"; shift || true
levels=("${@:-5 6 7}")
bin="$build/apps/orvanta/orvanta"
work="${GRID_WORK:-$(mktemp -d /tmp/orvanta_grid_XXXXXX)}"
cl="${GRID_CL:-0.5}"
polar_level="${GRID_POLAR_LEVEL:-6}"
polar_cl="${GRID_POLAR_CL:-0.3}"
# Starting angles near the ones that give these lifts save restarts of the lift search.
alpha="${GRID_ALPHA:-4.4}"
polar_alpha="${GRID_POLAR_ALPHA:-1.9}"
mkdir -p "$work"
trap '"$bin" viewers stop --all >/dev/null 2>&1 || true' EXIT
export KESTRAN_WORK_DIR="$work" ORVANTA_CI=1

# run CASE ARGS...: starts a case unless it already passed, waits, analyses it, and
# records its wall time (start to the end of the run) in times.txt.
run() {
  local case="$1"; shift
  if grep -q "^$case " "$work/times.txt" 2>/dev/null; then return; fi
  local start end
  start=$(date +%s.%N)
  "$bin" run "$@" --case "$case" >/dev/null
  while [ ! -f "$work/$case/.orvanta/run_exit" ]; do sleep 2; done
  end=$(date +%s.%N)
  "$bin" check "$case" > "$work/$case.check.txt" || true
  echo "$case $(python3 -c "print(round($end - $start, 1))")" >> "$work/times.txt"
}

for level in ${levels[@]}; do
  run "mesh_l$level" generate-cfd-mesh --set surface_level="$level" --set n_cpus=2
  run "cfd_l$level" run-cfd-simulation --mesh-case "mesh_l$level" --set n_cpu_cores=2 \
    --set fixed_lift_coeff="$cl" --set angle_of_attack="$alpha"
done
polar=()
if [[ " ${levels[*]} " == *" $polar_level "* ]]; then
  run "cfd_l${polar_level}_cl$polar_cl" run-cfd-simulation --mesh-case "mesh_l$polar_level" \
    --set n_cpu_cores=2 --set fixed_lift_coeff="$polar_cl" --set angle_of_attack="$polar_alpha"
  aspect=$("$bin" vsp info "$work/mesh_l$polar_level/aircraft.vsp3" |
           python3 -c 'import json,sys; print(json.load(sys.stdin)["reference_geometry"]["aspect_ratio"])')
  polar=(--polar "$aspect" "cfd_l${polar_level}_cl$polar_cl" "cfd_l$polar_level")
fi
python3 "$here/bench/grid_convergence_report.py" "$work" "$work/report" ${levels[@]} "${polar[@]}"
echo "cases and report kept in $work"
