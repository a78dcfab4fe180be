#!/usr/bin/env bash
# Wall time, cell count and quality of the whole mesh pipeline (geometry export to
# VTK/boundary.vtp, then the analysis) for the packaged aircraft, per surface level.
# A report, not a test:   bench/mesh_pipeline.sh [build dir] [levels...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"; shift || true
levels=("${@:-5 6 7}")
bin="$build/apps/orvanta/orvanta"
work="$(mktemp -d /tmp/orvanta_bench_mesh_XXXXXX)"
trap '"$bin" viewers stop --all >/dev/null 2>&1 || true' EXIT
export KESTRAN_WORK_DIR="$work" ORVANTA_CI=1

printf '%-6s %10s %10s %10s %10s %12s %s\n' level run_s total_s cells max_nonorth max_skewness verdict
for level in ${levels[@]}; do
  start=$(date +%s.%N)
  "$bin" run generate-cfd-mesh --case "l$level" --set surface_level="$level" --set n_cpus=2 >/dev/null
  # The chain's shell writes run_exit when it ends, whether the run passed or not.
  while [ ! -f "$work/l$level/.orvanta/run_exit" ]; do sleep 1; done
  run_done=$(date +%s.%N)
  "$bin" check "l$level" > "$work/l$level.txt"
  done_t=$(date +%s.%N)
  python3 - "$work/l$level/.orvanta/case.json" "$level" "$start" "$run_done" "$done_t" <<'PY'
import json, sys
rec = json.load(open(sys.argv[1])); v = rec.get("verdict", {})
level, t0, t1, t2 = sys.argv[2], *map(float, sys.argv[3:6])
print(f"{level:<6} {t1 - t0:10.1f} {t2 - t0:10.1f} {v.get('n_cells', '-'):>10} {v.get('max_nonorthogonality', '-'):>10} "
      f"{v.get('max_skewness', '-'):>12} {v.get('status', rec.get('state'))}")
PY
done
echo "cases kept in $work"
