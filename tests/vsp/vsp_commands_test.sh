#!/usr/bin/env bash
# The geometry commands as case-local scripts use them: the real orvanta executable and the
# packaged geometry script on a copy of the packaged model. Needs ORVANTA_BIN and
# ORVANTA_SOURCE_DIR (set by CTest); Debian's python3.
set -u
: "${ORVANTA_BIN:?}" "${ORVANTA_SOURCE_DIR:?}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

assets="$ORVANTA_SOURCE_DIR/assets/aircraft_assets"
cp "$assets/aircraft.vsp3" "$assets/script_generate_geometry.py" "$work/"
cp -r "$assets/orvanta_case" "$work/"
mkdir "$work/shim" && ln -s /usr/bin/python3 "$work/shim/python"
cd "$work" || exit 1
export PATH="$work/shim:$PATH"

# The mesh run's geometry step.
python script_generate_geometry.py > log_geometry.txt 2>&1 || fail "geometry script: $(cat log_geometry.txt)"
# ... which also measures the mesh sizing on the exported surface.
grep -Eq "^referenceLength +1\.48571" system/aircraftSizing || fail "no mesh sizing: $(cat log_geometry.txt)"
grep -q "^Exported aircraft.vsp3 to aircraft.stl: .* triangles, closed" log_geometry.txt || fail "no report: $(cat log_geometry.txt)"
[ "$(head -1 aircraft.stl)" = "solid aircraft" ] || fail "solid name: $(head -1 aircraft.stl)"
[ "$(tail -1 aircraft.stl)" = "endsolid aircraft" ] || fail "end of solid: $(tail -1 aircraft.stl)"
"$ORVANTA_BIN" vsp check-stl aircraft.stl | grep -q '"watertight": true' || fail "exported surface not closed"

# Parameters and reference geometry for scripts.
"$ORVANTA_BIN" vsp info aircraft.vsp3 > info.json || fail "vsp info"
python - <<'PY' || fail "vsp info content"
import json
d = json.load(open("info.json"))
names = [(c["name"], c["type"]) for c in d["components"]]
assert names == [("Fuselage", "Fuselage"), ("Wing", "Wing")], names
wing = d["components"][1]["parameters"]
assert wing["XSec_1"]["Span"] == 2.0 and wing["UpperCoeff_3"]["Au_5"] == 0.1913, wing["XSec_1"]
assert abs(d["reference_geometry"]["reference_length"] - 1.4857142857) < 1e-9, d["reference_geometry"]
PY

# Changing a parameter, with the derived values following.
"$ORVANTA_BIN" vsp set aircraft.vsp3 Wing XSec_1:Span=7 -o wider.vsp3 > set.txt || fail "vsp set"
grep -q '"XSec_1:Span":7.0' set.txt || fail "vsp set reply: $(cat set.txt)"
"$ORVANTA_BIN" vsp info wider.vsp3 > wider.json || fail "vsp info after set"
python -c 'import json; r = json.load(open("wider.json"))["reference_geometry"]; assert abs(r["reference_area"] - 34.8) < 1e-9, r' \
  || fail "area after widening"

# Failures: status 1, the reason on stderr, no output file.
echo "<Vsp_Geometry>" > bad.vsp3
if "$ORVANTA_BIN" vsp export-stl bad.vsp3 bad.stl 2> err.txt; then fail "a broken model exported"; fi
grep -q "ReadVSPFile::Error reading $work/bad.vsp3: not well-formed XML" err.txt || fail "message: $(cat err.txt)"
[ ! -e bad.stl ] || fail "partial STL left behind"
if python script_generate_geometry.py --vsp3 bad.vsp3 --stl bad.stl 2> err.txt > /dev/null; then fail "script passed"; fi
grep -q "^script_generate_geometry.py: error: .*ReadVSPFile::Error" err.txt || fail "script message: $(cat err.txt)"
if ORVANTA_BIN=/nonexistent python script_generate_geometry.py 2> err.txt > /dev/null; then fail "script without orvanta"; fi
grep -q "cannot run /nonexistent" err.txt || fail "script message: $(cat err.txt)"
echo "vsp commands: ok"
