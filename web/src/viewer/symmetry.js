// The exported boundary holds the aircraft and its symmetry plane (the y = 0 side of the
// flow domain, many chords wide). Shown whole, the plane dwarfs the aircraft, so the page
// separates the cells lying flat on the lowest-y plane and shows them only on request.
import vtkPolyData from "@kitware/vtk.js/Common/DataModel/PolyData";
import vtkCellArray from "@kitware/vtk.js/Common/Core/CellArray";
import vtkPoints from "@kitware/vtk.js/Common/Core/Points";
import vtkDataArray from "@kitware/vtk.js/Common/Core/DataArray";

function subsetArrays(source, target, pick) {
  for (const array of source.getArrays()) {
    const nc = array.getNumberOfComponents();
    const src = array.getData();
    const out = new src.constructor(pick.length * nc);
    pick.forEach((from, to) => {
      for (let c = 0; c < nc; c++) out[to * nc + c] = src[from * nc + c];
    });
    target.addArray(vtkDataArray.newInstance({ name: array.getName(), values: out, numberOfComponents: nc }));
  }
}

function subset(data, cells, polys) {
  const points = data.getPoints().getData();
  const pointMap = new Map();
  const pointPick = [];
  const connectivity = [];
  for (const start of cells) {
    const n = polys[start];
    connectivity.push(n);
    for (let k = 1; k <= n; k++) {
      const id = polys[start + k];
      if (!pointMap.has(id)) {
        pointMap.set(id, pointPick.length);
        pointPick.push(id);
      }
      connectivity.push(pointMap.get(id));
    }
  }
  const coords = new Float32Array(pointPick.length * 3);
  pointPick.forEach((from, to) => {
    coords[3 * to] = points[3 * from];
    coords[3 * to + 1] = points[3 * from + 1];
    coords[3 * to + 2] = points[3 * from + 2];
  });
  const out = vtkPolyData.newInstance();
  out.setPoints(vtkPoints.newInstance({ values: coords, numberOfComponents: 3 }));
  out.setPolys(vtkCellArray.newInstance({ values: Uint32Array.from(connectivity) }));
  subsetArrays(data.getPointData(), out.getPointData(), pointPick);
  subsetArrays(data.getCellData(), out.getCellData(), cells.cellIndices);
  return out;
}

// { body, plane }: plane is null when no cell, or every cell, lies on the lowest-y plane,
// or when the surface holds anything but polygons (cell numbering would not match).
export function splitOnSymmetryPlane(data) {
  const none = { body: data, plane: null };
  if (data.getVerts().getNumberOfCells() || data.getLines().getNumberOfCells() || data.getStrips().getNumberOfCells())
    return none;
  const b = data.getBounds();
  const diagonal = Math.hypot(b[1] - b[0], b[3] - b[2], b[5] - b[4]);
  const tolerance = 1e-6 * diagonal;
  const points = data.getPoints().getData();
  const polys = data.getPolys().getData();
  const flat = [], rest = [];
  flat.cellIndices = [];
  rest.cellIndices = [];
  for (let start = 0, cell = 0; start < polys.length; start += polys[start] + 1, cell++) {
    let onPlane = true;
    for (let k = 1; k <= polys[start] && onPlane; k++) onPlane = Math.abs(points[3 * polys[start + k] + 1] - b[2]) <= tolerance;
    const group = onPlane ? flat : rest;
    group.push(start);
    group.cellIndices.push(cell);
  }
  if (!flat.length || !rest.length) return none;
  return { body: subset(data, rest, polys), plane: subset(data, flat, polys) };
}
