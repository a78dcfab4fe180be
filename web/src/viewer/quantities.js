// The quantities a surface can be coloured by: every scalar array of the file, the
// magnitude and components of every vector array, and, when the freestream is known, the
// pressure coefficient Cp = (p - p_ref) / q and the speed ratio (|U| - U0) / U0.
import vtkDataArray from "@kitware/vtk.js/Common/Core/DataArray";

const LOCATIONS = [
  ["cell", (d) => d.getCellData()],
  ["point", (d) => d.getPointData()],
];

function addArray(fields, name, values) {
  if (fields.getArrayByName(name)) return false;
  fields.addArray(vtkDataArray.newInstance({ name, values, numberOfComponents: 1 }));
  return true;
}

function magnitude(array) {
  const n = array.getNumberOfTuples();
  const src = array.getData();
  const out = new Float32Array(n);
  for (let i = 0; i < n; i++) {
    const x = src[3 * i], y = src[3 * i + 1], z = src[3 * i + 2];
    out[i] = Math.sqrt(x * x + y * y + z * z);
  }
  return out;
}

function component(array, c) {
  const n = array.getNumberOfTuples();
  const src = array.getData();
  const out = new Float32Array(n);
  for (let i = 0; i < n; i++) out[i] = src[3 * i + c];
  return out;
}

function mapValues(array, fn) {
  const src = array.getData();
  const out = new Float32Array(src.length);
  for (let i = 0; i < src.length; i++) out[i] = fn(src[i]);
  return out;
}

// Adds the derived arrays to the surface (once) and returns its quantity keys, e.g.
// "cell:Cp", in display order.
export function deriveQuantities(data, reference) {
  const keys = [];
  for (const [location, fieldsOf] of LOCATIONS) {
    const fields = fieldsOf(data);
    const originals = fields.getArrays().slice();
    for (const array of originals) {
      const name = array.getName();
      const nc = array.getNumberOfComponents();
      if (nc === 1) keys.push(location + ":" + name);
      if (nc === 3) {
        const mag = "|" + name + "|";
        addArray(fields, mag, magnitude(array));
        keys.push(location + ":" + mag);
        ["x", "y", "z"].forEach((axis, c) => {
          addArray(fields, name + " " + axis, component(array, c));
          keys.push(location + ":" + name + " " + axis);
        });
        if (name === "U" && reference) {
          const u0 = reference.u0;
          addArray(fields, "(|U|-U0)/U0", mapValues(fields.getArrayByName(mag), (v) => (v - u0) / u0));
          keys.push(location + ":(|U|-U0)/U0");
        }
      }
      if (name === "p" && nc === 1 && reference) {
        const pRef = reference.reference_pressure, q = reference.dynamic_pressure;
        addArray(fields, "Cp", mapValues(array, (v) => (v - pRef) / q));
        keys.unshift(location + ":Cp");
      }
    }
  }
  return [...new Set(keys)];
}

export function splitKey(key) {
  const colon = key.indexOf(":");
  return { location: key.slice(0, colon), name: key.slice(colon + 1) };
}

// Label of a quantity for the selector; the location is named only when the same name
// exists at both.
export function quantityLabel(key, allKeys) {
  const { location, name } = splitKey(key);
  const twin = allKeys.some((k) => k !== key && splitKey(k).name === name);
  return twin ? name + " (" + location + ")" : name;
}

export function quantityRange(surfaces, key) {
  const { location, name } = splitKey(key);
  let lo = Infinity, hi = -Infinity;
  for (const data of surfaces) {
    const fields = location === "cell" ? data.getCellData() : data.getPointData();
    const array = fields.getArrayByName(name);
    if (!array) continue;
    const [a, b] = array.getRange(0);
    lo = Math.min(lo, a);
    hi = Math.max(hi, b);
  }
  if (!Number.isFinite(lo)) return [0, 1];
  if (lo === hi) return [lo - 0.5, hi + 0.5];
  return [lo, hi];
}

// Preferred default: Cp, then p, then |U|, then whatever comes first.
export function defaultQuantity(keys) {
  for (const want of ["Cp", "p", "|U|"]) {
    const hit = keys.find((k) => splitKey(k).name === want);
    if (hit) return hit;
  }
  return keys[0] || "";
}
