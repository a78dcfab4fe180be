// The side panel: what to colour by, how, and how to lay out two surfaces. Built from DOM
// nodes (never from HTML text), since array and file names come from the case.
import { COLOR_MAPS } from "./color_map";

function field(parent, labelText, control) {
  const row = document.createElement("label");
  row.className = "row";
  const span = document.createElement("span");
  span.textContent = labelText;
  row.append(span, control);
  parent.append(row);
  return control;
}

function select(id) {
  const s = document.createElement("select");
  s.id = id;
  return s;
}

export function setOptions(selectElement, options, value) {
  selectElement.replaceChildren(
    ...options.map(([v, text]) => {
      const o = document.createElement("option");
      o.value = v;
      o.textContent = text;
      return o;
    }),
  );
  if (value !== undefined) selectElement.value = value;
}

function rangeRow(root) {
  const row = document.createElement("div");
  row.className = "row range";
  const min = document.createElement("input");
  const max = document.createElement("input");
  for (const [input, id] of [[min, "range-min"], [max, "range-max"]]) {
    input.type = "number";
    input.step = "any";
    input.id = id;
  }
  const auto = document.createElement("button");
  auto.textContent = "Auto";
  auto.id = "range-auto";
  const caption = document.createElement("span");
  caption.textContent = "Range";
  row.append(caption, min, max, auto);
  root.append(row);
  return { min, max, auto };
}

function checkbox(root, id, labelText) {
  const box = document.createElement("input");
  box.type = "checkbox";
  box.id = id;
  return field(root, labelText, box);
}

function paragraph(root, className, text) {
  const p = document.createElement("p");
  p.className = className;
  p.textContent = text;
  root.append(p);
  return p;
}

export function buildControls(root, handlers) {
  const quantity = field(root, "Colour by", select("quantity"));
  const map = field(root, "Colour map", select("colormap"));
  setOptions(map, COLOR_MAPS.map((m) => [m, m]), COLOR_MAPS[0]);
  const { min, max, auto } = rangeRow(root);
  const layout = field(root, "Compare", select("layout"));
  layout.parentElement.hidden = true;
  const edges = checkbox(root, "edges", "Mesh edges");
  const plane = checkbox(root, "symmetry-plane", "Symmetry plane");
  plane.parentElement.hidden = true;
  const reset = document.createElement("button");
  reset.textContent = "Reset view";
  reset.id = "reset-view";
  root.append(reset);
  const note = paragraph(root, "note", "");
  note.id = "reference-note";
  paragraph(root, "help", "Drag to rotate, Shift+drag or middle button to pan, wheel or right-drag to zoom. " +
    "With two surfaces, T toggles between them.");

  quantity.addEventListener("change", () => handlers.quantity(quantity.value));
  map.addEventListener("change", () => handlers.colorMap(map.value));
  const manual = () => {
    const lo = Number(min.value), hi = Number(max.value);
    if (Number.isFinite(lo) && Number.isFinite(hi) && lo < hi) handlers.range([lo, hi]);
  };
  min.addEventListener("change", manual);
  max.addEventListener("change", manual);
  auto.addEventListener("click", () => handlers.range(null));
  layout.addEventListener("change", () => handlers.layout(layout.value));
  edges.addEventListener("change", () => handlers.edges(edges.checked));
  plane.addEventListener("change", () => handlers.plane(plane.checked));
  reset.addEventListener("click", () => handlers.reset());
  return { quantity, map, min, max, layout, edges, plane, note };
}
