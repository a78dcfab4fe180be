#!/usr/bin/env bash
# The mesh run's own command list, taken from a dry run of the skill, executed for real on
# the wing-body fixture at a tiny size (coarse background, surface level 3, two layers,
# a local refinement box), then the analysis commands: checkMesh must say "Mesh OK", the
# exported surface must hold the aircraft and symmetry patches, the metrics files must be
# written (with the layer coverage) and all eight figures drawn. The curvature-off variant of the snappy dictionary
# is checked by expanding it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
src="${ORVANTA_SOURCE_DIR:-$here/../..}"
bin="${ORVANTA_BIN:-orvanta}"
py=/usr/bin/python3
work="$(mktemp -d /tmp/orvanta_mesh_assets_XXXXXX)"
trap 'rm -rf "$work"' EXIT

export WM_PROJECT_DIR="${WM_PROJECT_DIR:-/usr/share/openfoam}"
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 ORVANTA_CI=1
mkdir -p "$work/bin" && ln -s "$py" "$work/bin/python" && export PATH="$work/bin:$PATH"

fail() { echo "FAIL: $*" >&2; exit 1; }

# A case as the host stages it, with a model whose wing sets the mesh sizing.
case_dir="$work/case"
mkdir -p "$case_dir"
(cd "$src/assets/aircraft_assets" && tar --exclude=__pycache__ -cf - .) | (cd "$case_dir" && tar -xf -)
cp "$src/tests/data/openvsp_test_wing.vsp3" "$case_dir/aircraft.vsp3"
reference_length="$("$bin" vsp info "$case_dir/aircraft.vsp3" |
  "$py" -c 'import json, sys; print(json.load(sys.stdin)["reference_geometry"]["reference_length"])')"
"$py" "$here/mesh_fixture/wing_body_stl.py" --output "$work/aircraft.stl" \
  --reference-length "$reference_length" --n-chord 41 --n-span 21 > /dev/null

dry_run() {  # inputs advanced-parameters output
  "$bin" phase generate-cfd-mesh run --case-dir "$case_dir" --dry-run --inputs "$1" --adv-params "$2" > "$3"
}
# A box in the wake, where the background cells are uniform enough to be split.
box="[[$("$py" -c "r=$reference_length; print(f'{6*r}, 0.0, {-4*r}], [{20*r}, {8*r}, {4*r}')")]]"
dry_run "{\"surface_level\": 3, \"n_boundary_layers\": 2, \"local_refine_box\": $box}" \
  '{"max_cell_size": null}' "$work/run.json"

# Curvature refinement off: the dictionary must stay valid and keep one level everywhere.
dry_run '{"surface_level": 3}' '{"curvature_level": -1}' "$work/no_curvature.json"
cp "$case_dir/system/snappyHexMeshDict_no_layer" "$case_dir/system/snappyHexMeshDict"
"$py" - "$work/no_curvature.json" "$case_dir" <<'PY'
import json, subprocess, sys
calls = json.load(open(sys.argv[1]))["host_calls"]
commands = next(c["arguments"]["commands"] for c in calls if c["operation"] == "_execute_commands")
for c in commands[:commands.index("blockMesh >> log_mesh.txt 2>&1")]:
    if c.startswith("sed") and "system/snappyHexMeshDict " in c:
        subprocess.run(c, shell=True, cwd=sys.argv[2], check=True)
PY
expanded="$(cd "$case_dir" && foamDictionary -expand system/snappyHexMeshDict)"
grep -q "curvLevel disabled" "$case_dir/system/snappyHexMeshDict" || fail "curvature edits were not applied"
grep -Eq "level +\( 3 3 \);" <<<"$expanded" || fail "curvature off should give level (3 3)"
rm "$case_dir/system/snappyHexMeshDict"

# The real run, with the fixture standing in for the geometry export.
start=$(date +%s)
"$py" "$here/mesh_fixture/run_command_list.py" --dry-run-json "$work/run.json" --case-dir "$case_dir" \
  --stl "$work/aircraft.stl" > "$work/run_times.json"
echo "mesh run: $(( $(date +%s) - start )) s"
"$py" - "$work/run_times.json" <<'PY' || { tail -40 "$case_dir/log_mesh.txt"; fail "a mesh command failed"; }
import json, sys
failed = [c for c in json.load(open(sys.argv[1]))["commands"] if c["status"] != 0]
for c in failed:
    print(f"exit {c['status']}: {c['command']}")
sys.exit(1 if failed else 0)
PY
for f in run_finished.pid constant/polyMesh/faces VTK/boundary.vtp constant/triSurface/aircraft.eMesh; do
  [ -e "$case_dir/$f" ] || fail "the run did not produce $f"
done
grep -q "Layers added in" "$case_dir/log_mesh.txt" || fail "the layer pass did not add layers"
# The sizing the dictionaries read was measured on this case's aircraft, not the packaged one.
"$py" - "$case_dir/system/aircraftSizing" "$reference_length" <<'PY' || fail "the mesh sizing is not the case's"
import re, sys
text = open(sys.argv[1]).read()
length = float(re.search(r"^referenceLength\s+([^;]+);", text, re.M).group(1))
assert abs(length - float(sys.argv[2])) <= 1e-6 * float(sys.argv[2]), (length, sys.argv[2])
PY
grep -Eq "Writing refined cells \([1-9][0-9]*\)" "$case_dir/log_mesh.txt" || fail "the refinement box refined nothing"

# The analysis commands, as the skill hands them over.
(
  cd "$case_dir"
  checkMesh >> log_mesh.txt 2>&1 || exit 200
  python script_plot_results.py -mode aircraft_plot_geometry -case_dir . -geometry_file aircraft.stl > log_geometry_plot.txt 2>&1
  python script_plot_results.py -mode aircraft_plot_mesh -case_dir . -mesh_file VTK/boundary.vtp -camera_scale 0.9 > log_mesh_plot.txt 2>&1
  python script_workflow_helpers.py write-mesh-analysis --log-file log_mesh.txt --metrics-file mesh_analysis_metrics.json --analysis-file mesh_analysis.json
) || { tail -20 "$case_dir"/log_*plot.txt; fail "an analysis command failed"; }

"$py" - "$case_dir" <<'PY' || fail "the analysis results are not what a good mesh gives"
import json, os, sys
import vtk
case = sys.argv[1]
m = json.load(open(os.path.join(case, "mesh_analysis_metrics.json")))
a = json.load(open(os.path.join(case, "mesh_analysis.json")))
print({k: m[k] for k in ("n_cells", "max_nonorthogonality", "max_skewness", "max_aspect_ratio", "mesh_ok",
                         "layer_coverage_pct", "layers_mean")})
assert m["mesh_ok"] is True, m["failed_check_messages"]
# Two layers were asked for, and only extruded faces carry them (the mean is printed to 3 digits).
assert 0 <= m["layer_coverage_pct"] <= 100 and 0 <= m["layers_mean"] <= 2, m
assert m["layers_mean"] <= 2 * m["layer_coverage_pct"] / 100 + 1e-2, m
assert m["max_nonorthogonality"] <= 65, m["max_nonorthogonality"]
assert sorted(m["patches"]) == ["aircraft", "farfield", "sym"], m["patches"]
assert {"aircraft.stl", "aircraft.vsp3", "constant/polyMesh", "VTK/boundary.vtp"} <= set(a["outputs"]), a
reader = vtk.vtkXMLPolyDataReader()
reader.SetFileName(os.path.join(case, "VTK", "boundary.vtp"))
reader.Update()
faces = reader.GetOutput().GetNumberOfPolys()
expected = m["patches"]["aircraft"]["faces"] + m["patches"]["sym"]["faces"]
assert faces == expected, (faces, expected)
PY

for view in view_x view_y view_z view_iso mesh_view_x mesh_view_y mesh_view_z mesh_view_3d; do
  png="$case_dir/plots/aircraft_$view.png"
  [ -f "$png" ] || fail "missing figure $png"
  "$py" -c '
import sys
import matplotlib.image as image
pixels = image.imread(sys.argv[1])
assert pixels.shape[0] >= 800 and pixels.shape[1] >= 1200, pixels.shape
drawn = (pixels[..., :3].std(axis=2) > 0.02).mean()  # coloured (shaded) pixels
assert drawn > 0.01, f"{sys.argv[1]}: only {drawn:.1%} of the figure shows the surface"
' "$png" || fail "figure $png looks empty"
done
# Fresh initial conditions for the flow solution. refineMesh writes its cell map to
# 0/polyMesh; unless the run removes it, "cp -r 0_orig 0" nests the fields in 0/0_orig.
for field in U p T nut nuTilda alphat k omega; do
  [ -f "$case_dir/0/$field" ] || fail "the run left no 0/$field ($(cd "$case_dir" && ls -d 0/* | tr '\n' ' '))"
done
echo "mesh assets pipeline: OK"
