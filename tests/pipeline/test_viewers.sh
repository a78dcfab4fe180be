#!/usr/bin/env bash
# The figure gallery and the 3D viewer as people meet them: both servers started through
# the real orvanta binary on surfaces that OpenFOAM's foamToVTK wrote, looked at with
# headless Chromium (page text, live updates, screenshot pixels), replaced by a launch for
# another case, refused on a port that another program holds, and stopped cleanly.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tools="$here/viewers"
bin="${ORVANTA_BIN:?ORVANTA_BIN must name the orvanta executable}"
py=/usr/bin/python3
work="$(mktemp -d /tmp/orvanta_viewers_XXXXXX)"
shots="${ORVANTA_VIEWERS_SHOTS:-$work/shots}"
mkdir -p "$shots"
# Our own record folder: the test never touches servers that other sessions started.
export ORVANTA_SERVER_RECORDS_DIR="$work/servers"
export WM_PROJECT_DIR="${WM_PROJECT_DIR:-/usr/share/openfoam}"
squatter=""
cleanup() {
  "$bin" viewers stop --all >/dev/null 2>&1 || true
  if [ -n "$squatter" ]; then kill "$squatter" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

free_ports() {
  $py -c 'import socket
socks = [socket.socket() for _ in range(3)]
for s in socks: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in socks))'
}
read -r gallery_port viewer_port held_port <<<"$(free_ports)"

chrome() {
  local profile
  profile="$(mktemp -d "$work/chrome_XXXXXX")"
  timeout 120 chromium --headless --no-sandbox --disable-gpu --enable-unsafe-swiftshader --disable-quic \
    --no-first-run --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" "$@" 2>/dev/null
}
# Alive and not a zombie waiting for init to reap it.
alive() {
  local state
  state="$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)" || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}
# Local addresses listening on a port, from /proc (no dependence on ss/netstat being installed).
listen_addresses() {
  $py -c 'import sys
port = "%04X" % int(sys.argv[1])
for table in ("/proc/net/tcp", "/proc/net/tcp6"):
    for line in open(table).readlines()[1:]:
        f = line.split()
        addr, p = f[1].rsplit(":", 1)
        if f[3] == "0A" and p == port: print(addr)' "$1"
}
status_of() { curl -sf "http://127.0.0.1:$1/__orvanta/status"; }
json_field() { $py -c "import json,sys; print(json.load(sys.stdin)$1)"; }

# A block-mesh case whose boundary carries smooth p and U, exported as the skills export it.
make_case() {
  local dir="$1" bump="$2"
  mkdir -p "$dir/constant" "$dir/.orvanta" "$dir/plots"
  cp -r "$tools/block_case/system" "$dir/"
  (cd "$dir" && blockMesh > log_mesh.txt 2>&1) || fail "blockMesh failed in $dir"
  $py "$tools/write_fields.py" --case "$dir" --bump "$bump"
  (cd "$dir" && foamToVTK -latestTime -patches '(aircraft sym)' -fields '(U p)' -one-boundary >> log_mesh.txt 2>&1 &&
    mv VTK/*/boundary.vtp VTK/) || fail "foamToVTK failed in $dir"
  echo '{"mach_number": 0.3, "n_cpu_cores": 2}' > "$dir/.orvanta/inputs.json"
}

step "cases from blockMesh + foamToVTK"
make_case "$work/case_a" 0.0
make_case "$work/case_b" 0.3
cp "$work/case_a/VTK/boundary.vtp" "$work/case_b/VTK/boundary_baseline.vtp"
mv "$work/case_b/VTK/boundary.vtp" "$work/case_b/VTK/boundary_optimized.vtp"
head -c 200 "$work/case_a/VTK/boundary.vtp" | grep -q "<VTKFile type='PolyData'" || fail "unexpected VTK header"
$py "$tools/image_tools.py" figure "$work/case_a/plots/general_residual_cfd.png" --title residuals --power 0.3
$py "$tools/image_tools.py" figure "$work/case_a/plots/aircraft_pressure_profile_y0p25.png" --title "Cp at y=0.25"
$py "$tools/image_tools.py" figure "$work/spare.png" --title "Cd history" --power 1
echo "plotting stopped: no forces yet" > "$work/case_a/log_plot_cfd.txt"
ln -s /etc/passwd "$work/case_a/plots/escape.png"

step "gallery: existing figures shown, missing ones marked"
"$bin" viewers gallery --case "$work/case_a" --page cfd.html --port "$gallery_port" --plot-log log_plot_cfd.txt \
  plots/general_residual_cfd.png plots/general_function_cd.png plots/aircraft_pressure_profile_y0p25.png \
  || fail "gallery did not start"
gallery_pid="$(status_of "$gallery_port" | json_field '["pid"]')"
dom="$(chrome --window-size=1300,900 --virtual-time-budget=5000 --dump-dom "http://127.0.0.1:$gallery_port/cfd.html")"
grep -q 'card present" id="figure-0"' <<<"$dom" || fail "first figure not shown"
grep -q 'card missing" id="figure-1"' <<<"$dom" || fail "missing figure not marked"
grep -q 'card present" id="figure-2"' <<<"$dom" || fail "third figure not shown"
grep -q 'Not written yet' <<<"$dom" || fail "no placeholder text"
grep -q '>General function Cd<' <<<"$dom" || fail "no title derived from the file name"
grep -q 'href="/log_plot_cfd.txt"' <<<"$dom" || fail "plot log not linked"
grep -q '2 of 3 figures written' <<<"$dom" || fail "summary wrong"
chrome --window-size=1300,900 --virtual-time-budget=5000 --screenshot="$shots/gallery.png" \
  "http://127.0.0.1:$gallery_port/cfd.html" >/dev/null
$py "$tools/image_tools.py" count "$shots/gallery.png" --box 40 140 420 390 --background 255 255 255 \
  --min-fraction 0.01 || fail "first figure is not drawn"

step "gallery: a figure written while the page is open appears"
node --no-warnings --experimental-websocket "$tools/page_watch.mjs" --window-size 1300,900 \
  --url "http://127.0.0.1:$gallery_port/cfd.html" \
  --wait 'document.readyState === "complete" && document.querySelector("#figure-1").classList.contains("missing")' \
  --copy "$work/spare.png" "$work/case_a/plots/general_function_cd.png" \
  --wait 'document.querySelector("#figure-1").dataset.appeared === "true" && document.querySelector("#figure-1 img").complete && document.querySelector("#figure-1 img").naturalWidth === 640' \
  --wait 'document.getElementById("summary").textContent === "3 of 3 figures written"' \
  --screenshot "$shots/gallery_live.png" >/dev/null || fail "written figure did not appear"

step "gallery: only files inside the case are served"
code() { curl -s -o /dev/null -w '%{http_code}' --path-as-is "http://127.0.0.1:$gallery_port$1"; }
[ "$(code /plots/general_residual_cfd.png)" = 200 ] || fail "figure not served"
[ "$(code /log_plot_cfd.txt)" = 200 ] || fail "plot log not served"
for bad in /../../etc/passwd /%2e%2e/%2e%2e/etc/passwd /plots/%2e%2e%2f%2e%2e%2fetc/passwd /.orvanta/inputs.json; do
  [ "$(code "$bad")" = 400 ] || fail "$bad was not refused"
done
for absent in /plots/escape.png /plots/ /plots /VTK/; do
  [ "$(code "$absent")" = 404 ] || fail "$absent was served"
done
[ "$(curl -s -o /dev/null -w '%{http_code}' -H 'Host: rebound.example' "http://127.0.0.1:$gallery_port/cfd.html")" = 403 ] \
  || fail "a foreign Host name was answered"
[ "$(listen_addresses "$gallery_port")" = 0100007F ] || fail "gallery does not listen on 127.0.0.1 only"
[ "$(listen_addresses "$viewer_port")" = "" ] || fail "viewer port in use before the viewer starts"

step "3D viewer: baseline and optimized surfaces, coloured by Cp"
"$bin" viewers view --case "$work/case_b" --port "$viewer_port" VTK/boundary_baseline.vtp VTK/boundary_optimized.vtp \
  || fail "viewer did not start"
[ "$(listen_addresses "$viewer_port")" = 0100007F ] || fail "viewer does not listen on 127.0.0.1 only"
dom="$(chrome --window-size=1400,800 --virtual-time-budget=10000 --dump-dom "http://127.0.0.1:$viewer_port/")"
state="$(grep -o '<div id="viewer-state"[^>]*>' <<<"$dom")" || fail "no viewer state in the page"
echo "   $state"
grep -q 'data-state="ready"' <<<"$state" || fail "viewer not ready"
grep -q 'data-surfaces="2"' <<<"$state" || fail "not both surfaces loaded"
grep -q 'data-quantity="cell:Cp"' <<<"$state" || fail "not coloured by Cp"
for q in 'cell:p' 'cell:|U|' 'cell:Cp'; do grep -qF "$q" <<<"$state" || fail "quantity $q not offered"; done
grep -q 'data-layout="side"' <<<"$state" || fail "surfaces not side by side"
chrome --window-size=1400,800 --virtual-time-budget=10000 --screenshot="$shots/viewer.png" "http://127.0.0.1:$viewer_port/" >/dev/null
# The views start right of the 340-pixel panel; the colour bar sits bottom right.
$py "$tools/image_tools.py" count "$shots/viewer.png" --box 345 40 865 790 --background 247 249 250 \
  --min-fraction 0.05 --min-colours 20 || fail "baseline view is blank"
$py "$tools/image_tools.py" count "$shots/viewer.png" --box 870 40 1270 790 --background 247 249 250 \
  --min-fraction 0.05 --min-colours 20 || fail "optimized view is blank"

step "replacement: a launch on a used port serves the new case"
viewer_pid="$(status_of "$viewer_port" | json_field '["pid"]')"
"$bin" viewers gallery --case "$work/case_b" --page optimization.html --port "$gallery_port" plots/none.png \
  || fail "replacement gallery did not start"
[ "$(status_of "$gallery_port" | json_field '["case_dir"]')" = "$work/case_b" ] || fail "gallery still serves the old case"
[ "$(status_of "$gallery_port" | json_field '["page"]')" = optimization.html ] || fail "gallery page not replaced"
alive "$gallery_pid" && fail "old gallery process still alive"
"$bin" viewers view --case "$work/case_a" --port "$viewer_port" VTK/boundary.vtp || fail "replacement viewer did not start"
[ "$(status_of "$viewer_port" | json_field '["case_dir"]')" = "$work/case_a" ] || fail "viewer still serves the old case"
alive "$viewer_pid" && fail "old viewer process still alive"
dom="$(chrome --window-size=1200,800 --virtual-time-budget=10000 --dump-dom "http://127.0.0.1:$viewer_port/")"
grep -q 'data-surfaces="1"' <<<"$dom" || fail "replaced viewer does not show the single surface"

step "a port held by another program is left alone and explained"
$py -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(4); time.sleep(300)' "$held_port" &
squatter=$!
for _ in $(seq 50); do [ -n "$(listen_addresses "$held_port")" ] && break; sleep 0.1; done
start=$(date +%s)
if out="$(timeout 30 "$bin" viewers gallery --case "$work/case_a" --page mesh.html --port "$held_port" plots/a.png)"; then
  fail "a gallery claimed to run on a held port"
fi
[ $(( $(date +%s) - start )) -le 10 ] || fail "launch on a held port took too long"
echo "   $out"
grep -q "Port $held_port is held by another program (python3, pid $squatter), not by an orvanta viewer" <<<"$out" \
  || fail "no note about the held port"
grep -q "port $held_port is held by another program" "$work/case_a/log_html.txt" || fail "case log does not say why"
alive "$squatter" || fail "the other program was disturbed"

step "servers stop cleanly"
gallery_pid="$(status_of "$gallery_port" | json_field '["pid"]')"
viewer_pid="$(status_of "$viewer_port" | json_field '["pid"]')"
"$bin" viewers stop --all >/dev/null
for pid in "$gallery_pid" "$viewer_pid"; do alive "$pid" && fail "server $pid still running"; done
status_of "$gallery_port" >/dev/null && fail "gallery still answers"
status_of "$viewer_port" >/dev/null && fail "viewer still answers"
grep -q "orvanta gallery: stopped" "$work/case_b/log_html.txt" || fail "gallery log does not record the stop"
grep -q "orvanta 3D viewer: stopped" "$work/case_a/log_trame.txt" || fail "viewer log does not record the stop"
[ -z "$(ls "$ORVANTA_SERVER_RECORDS_DIR"/*.json 2>/dev/null)" ] || fail "records left behind"
echo "viewers: all checks passed"
