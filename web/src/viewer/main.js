// The 3D surface viewer page: asks the server which surfaces the case has, loads each one
// once it exists (and again when it is rewritten), and colours them by the chosen quantity.
import { fetchSurface } from "./surface_reader";
import { deriveQuantities, quantityLabel, quantityRange, defaultQuantity } from "./quantities";
import { splitOnSymmetryPlane } from "./symmetry";
import { createLookup, applyMap, drawColorBar, formatValue } from "./color_map";
import { SurfaceViews } from "./views";
import { buildControls, setOptions } from "./controls";

const POLL_MS = 3000;
const app = document.getElementById("app");
const stateElement = document.getElementById("viewer-state");
const viewsElement = document.getElementById("views");
const colorBar = document.createElement("div");
colorBar.id = "color-bar";
viewsElement.append(colorBar);

const state = {
  status: null,
  surfaces: [], // per status entry: { mtime, full, body, plane, keys, error, loading }
  quantity: "",
  mapName: "Cool to Warm",
  range: null, // null: automatic
  layout: "side",
  edges: null, // null until the first surface tells whether it has fields
  showPlane: false,
};

const lut = createLookup(state.mapName);
const views = new SurfaceViews(viewsElement);
const controls = buildControls(document.getElementById("controls"), {
  quantity: (q) => { state.quantity = q; state.range = null; redraw(); },
  colorMap: (m) => { state.mapName = m; redraw(); },
  range: (r) => { state.range = r; redraw(); },
  layout: (l) => { state.layout = l === "side" ? "side" : Number(l); redraw(); },
  edges: (on) => { state.edges = on; redraw(); },
  plane: (on) => { state.showPlane = on; redraw(true); },
  reset: () => views.resetCamera(),
});

function loaded() {
  return state.surfaces.map((s, i) => ({ s, i })).filter(({ s }) => s && s.full);
}

function shownData(s) {
  return state.showPlane || !s.plane ? s.full : s.body;
}

function setState(name, extra) {
  stateElement.dataset.state = name;
  Object.assign(stateElement.dataset, extra || {});
}

function describeReference() {
  const ref = state.status && state.status.reference;
  if (!ref) return (state.status && state.status.reference_note) || "";
  return `Cp = (p \u2212 p_ref) / q with p_ref = ${formatValue(ref.reference_pressure)} Pa, ` +
    `q = ${formatValue(ref.dynamic_pressure)} Pa, U0 = ${formatValue(ref.u0)} m/s (Mach ${ref.mach_number}).`;
}

function updateSurfaceList() {
  const list = document.getElementById("surface-list");
  list.replaceChildren(...state.status.surfaces.map((info, i) => {
    const item = document.createElement("li");
    const code = document.createElement("code");
    code.textContent = info.path;
    const s = state.surfaces[i] || {};
    let text = " (" + info.label + "): ";
    if (!info.exists) text += "not written yet";
    else if (s.error) text += s.error;
    else if (s.full) text += `${s.full.getNumberOfPoints()} points, ${s.full.getNumberOfCells()} faces`;
    else text += "loading\u2026";
    item.append(code, document.createTextNode(text));
    if (s.error) item.className = "error";
    return item;
  }));
}

function redraw(resetCamera) {
  const items = loaded();
  updateSurfaceList();
  if (!items.length) {
    const waiting = state.status.surfaces.some((x) => !x.exists);
    setState(waiting ? "waiting" : "error", { surfaces: "0" });
    return;
  }
  const keys = [...new Set(items.flatMap(({ s }) => s.keys))];
  if (!keys.includes(state.quantity)) state.quantity = defaultQuantity(keys);
  // A surface without fields is a mesh to look at: show its edges unless people chose.
  if (state.edges === null) state.edges = keys.length === 0;
  controls.edges.checked = state.edges;
  controls.map.parentElement.hidden = !state.quantity;
  controls.min.parentElement.hidden = !state.quantity;
  const hasPressure = keys.some((k) => k.endsWith(":p"));
  controls.note.textContent = hasPressure || (state.status && state.status.reference) ? describeReference() : "";
  setOptions(controls.quantity, [["", "solid colour"], ...keys.map((k) => [k, quantityLabel(k, keys)])], state.quantity);

  const data = items.map(({ s }) => shownData(s));
  const range = state.range || quantityRange(data, state.quantity);
  applyMap(lut, state.mapName, range);
  controls.min.value = formatValue(range[0]);
  controls.max.value = formatValue(range[1]);
  items.forEach(({ s, i }) => views.setSurface(i, shownData(s), lut));
  views.colorBy(state.quantity, state.edges);
  colorBar.hidden = !state.quantity;
  if (state.quantity) drawColorBar(colorBar, lut, range, quantityLabel(state.quantity, keys));

  const planeKnown = items.some(({ s }) => s.plane);
  controls.plane.parentElement.hidden = !planeKnown;
  const labels = state.status.surfaces.map((x) => x.label);
  const layoutOptions = items.length >= 2 ? [["side", "side by side"], ...items.map(({ i }) => [String(i), labels[i] + " only"])] : [];
  controls.layout.parentElement.hidden = items.length < 2;
  setOptions(controls.layout, layoutOptions, String(state.layout));
  views.show(labels, state.layout);
  if (resetCamera) views.resetCamera();
  views.render();
  setState("ready", {
    surfaces: String(items.length),
    points: items.map(({ s }) => s.full.getNumberOfPoints()).join(","),
    cells: items.map(({ s }) => s.full.getNumberOfCells()).join(","),
    quantities: keys.join("|"),
    quantity: state.quantity,
    range: range.map(formatValue).join(","),
    layout: String(state.layout),
  });
}

async function load(index, info) {
  const slot = state.surfaces[index] || (state.surfaces[index] = {});
  slot.loading = true;
  try {
    const full = await fetchSurface(info.url + "?v=" + info.mtime, info.path);
    slot.keys = deriveQuantities(full, state.status.reference);
    const { body, plane } = splitOnSymmetryPlane(full);
    Object.assign(slot, { full, body, plane, error: "", mtime: info.mtime });
  } catch (err) {
    Object.assign(slot, { full: null, error: String(err.message || err), mtime: info.mtime });
    console.error(err);
  }
  slot.loading = false;
}

async function refresh() {
  try {
    const res = await fetch(app.dataset.status, { cache: "no-store" });
    if (!res.ok) throw new Error("status " + res.status);
    state.status = await res.json();
    const first = !loaded().length;
    const pending = state.status.surfaces
      .map((info, i) => ({ info, i }))
      .filter(({ info, i }) => info.exists && !(state.surfaces[i] && (state.surfaces[i].loading || state.surfaces[i].mtime === info.mtime)));
    await Promise.all(pending.map(({ info, i }) => load(i, info)));
    if (pending.length || first) redraw(first && loaded().length > 0);
  } catch (err) {
    setState(loaded().length ? "ready" : "error", { error: String(err.message || err) });
  }
  setTimeout(refresh, POLL_MS);
}

document.addEventListener("keydown", (e) => {
  if (e.key !== "t" && e.key !== "T") return;
  if (e.target instanceof HTMLInputElement || e.target instanceof HTMLSelectElement) return;
  const items = loaded();
  if (items.length < 2) return;
  const order = ["side", ...items.map(({ i }) => i)];
  state.layout = order[(order.indexOf(state.layout) + 1) % order.length];
  redraw();
});

refresh();
