// One colour lookup shared by every surface on the page, so the same colour means the same
// value in a side-by-side comparison, and an HTML colour bar that shows it.
import vtkColorTransferFunction from "@kitware/vtk.js/Rendering/Core/ColorTransferFunction";
import vtkColorMaps from "@kitware/vtk.js/Rendering/Core/ColorTransferFunction/ColorMapsLite";

// The classic map of many CFD figures, which the lite preset list lacks.
vtkColorMaps.addPreset({
  Name: "Jet",
  ColorSpace: "RGB",
  RGBPoints: [0, 0, 0, 0.5, 0.11, 0, 0, 1, 0.34, 0, 1, 1, 0.5, 0.5, 1, 0.5, 0.65, 1, 1, 0, 0.89, 1, 0, 0, 1, 0.5, 0, 0],
});

export const COLOR_MAPS = ["Cool to Warm", "Jet", "Rainbow Desaturated", "erdc_rainbow_bright", "Black-Body Radiation", "Grayscale"];

export function createLookup(mapName) {
  const lut = vtkColorTransferFunction.newInstance();
  applyMap(lut, mapName, [0, 1]);
  return lut;
}

export function applyMap(lut, mapName, range) {
  lut.applyColorMap(vtkColorMaps.getPresetByName(mapName) || vtkColorMaps.getPresetByName("Cool to Warm"));
  lut.setMappingRange(range[0], range[1]);
  lut.updateRange();
}

export function formatValue(v) {
  if (v === 0) return "0";
  const a = Math.abs(v);
  if (a >= 1e6 || a < 1e-3) return v.toExponential(3);
  if (a >= 1e4) return Math.round(v).toString();
  return Number(v.toPrecision(5)).toString();
}

// Fills `element` with a vertical bar: the title, the maximum on top, the minimum below.
export function drawColorBar(element, lut, range, title) {
  const rgb = [0, 0, 0];
  const stops = [];
  const n = 32;
  for (let i = 0; i <= n; i++) {
    const value = range[1] - ((range[1] - range[0]) * i) / n;
    lut.getColor(value, rgb);
    stops.push(`rgb(${Math.round(rgb[0] * 255)}, ${Math.round(rgb[1] * 255)}, ${Math.round(rgb[2] * 255)}) ${((100 * i) / n).toFixed(1)}%`);
  }
  element.replaceChildren();
  const heading = document.createElement("div");
  heading.className = "bar-title";
  heading.textContent = title;
  const body = document.createElement("div");
  body.className = "bar-body";
  const bar = document.createElement("div");
  bar.className = "bar";
  bar.style.background = `linear-gradient(to bottom, ${stops.join(", ")})`;
  const ticks = document.createElement("div");
  ticks.className = "bar-ticks";
  for (let i = 0; i <= 4; i++) {
    const tick = document.createElement("span");
    tick.textContent = formatValue(range[1] - ((range[1] - range[0]) * i) / 4);
    ticks.append(tick);
  }
  body.append(bar, ticks);
  element.append(heading, body);
}
