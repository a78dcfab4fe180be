#!/usr/bin/env bash
# How the mesh run's failures reach the model, through the real host and runner:
# a model that cannot be exported ends with a run review naming the missing outputs, and a
# run that is stopped midway is reported as failed instead of running forever.
set -euo pipefail
bin="${ORVANTA_BIN:-orvanta}"
work="$(mktemp -d /tmp/orvanta_mesh_run_XXXXXX)"
trap '"$bin" stop broken >/dev/null 2>&1 || true; "$bin" stop stopped >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
export KESTRAN_WORK_DIR="$work" ORVANTA_CI=1
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
field() { python3 -c "import json,sys; r=json.load(sys.stdin)['result']; print(r.get('$1', ''))"; }

# 1. The geometry step fails: the user's model is not a model.
echo '<Vsp_Geometry><Version>5</Version><Vehicle><Geom>broken' > aircraft.vsp3
cp "${ORVANTA_SOURCE_DIR}/assets/aircraft_assets/vsp_design_vars.json" .
"$bin" run generate-cfd-mesh --case broken --set custom_vsp3=1 > start.txt 2>&1 && fail "a broken model was accepted"
grep -q "OpenVSP failed to read" start.txt || { cat start.txt; fail "the read error was not reported"; }

# The same model slipped in after prepare: the run itself fails and says what is missing.
cp -r "${ORVANTA_SOURCE_DIR}/assets/aircraft_assets" broken2
"$bin" phase generate-cfd-mesh prepare --case-dir broken2 > /dev/null
echo 'not a model' > broken2/aircraft.vsp3
"$bin" phase generate-cfd-mesh run --case-dir broken2 --inputs '{"surface_level": 2}' > run.json 2>&1 &&
  fail "the run phase accepted a model without a wing"
grep -q '"kind": "GeometryError"\|"kind": "FileNotFoundError"\|"kind": "RuntimeError"' run.json ||
  { cat run.json; fail "no error kind"; }

cp -r "${ORVANTA_SOURCE_DIR}/assets/aircraft_assets" broken3
"$bin" phase generate-cfd-mesh run --case-dir broken3 --inputs '{"surface_level": 2}' > /dev/null
rm broken3/script_generate_geometry.py  # the geometry script vanishes: no STL, no mesh
for _ in $(seq 240); do [ -f broken3/.orvanta/run_exit ] && break; sleep 0.5; done
result="$("$bin" phase generate-cfd-mesh review_run --case-dir broken3)"
status="$(field status <<<"$result")"; note="$(field note <<<"$result")"
[ "$status" = fail ] || fail "geometry failure reviewed as $status"
# The background mesh and its surface still exist: only the geometry is named.
[ "$note" = "Aircraft geometry/mesh generation did not produce the required files: ['$work/broken3/aircraft.stl']. Check log_geometry.txt and log_mesh.txt for details." ] ||
  fail "unexpected note: $note"
echo "geometry failure: $note"

# 2. A run stopped midway.
"$bin" run generate-cfd-mesh --case stopped --set surface_level=4 > /dev/null
sleep 3
[ "$("$bin" check stopped | grep -c 'review_run: running')" = 1 ] || fail "a live run is not reported as running"
"$bin" stop stopped | grep -q stopped || fail "stop did not find the run"
out="$("$bin" check stopped)"
grep -q 'review_run: fail' <<<"$out" || { echo "$out"; fail "a stopped run is not reported as failed"; }
grep -q 'without creating run_finished.pid' <<<"$out" || { echo "$out"; fail "no explanation"; }
echo "stopped run: $(grep -m1 'run' <<<"$(sed -n 3p <<<"$out")")"
echo "mesh run failure reporting passed"
