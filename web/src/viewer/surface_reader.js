// Reads a .vtp surface as OpenFOAM's foamToVTK and VTK's XML writers produce it: inline
// base64 or appended data (raw or base64, optionally zlib-compressed), UInt32 or UInt64
// headers, attributes in single or double quotes.
import vtkXMLPolyDataReader from "@kitware/vtk.js/IO/XML/XMLPolyDataReader";

// vtk.js finds appended raw data by the exact text <AppendedData encoding="raw">, while
// OpenFOAM quotes attributes with single quotes. Swapping the quote bytes keeps every offset.
export function normaliseAppendedTag(buffer) {
  const bytes = new Uint8Array(buffer);
  const probe = new TextDecoder("latin1").decode(bytes.subarray(0, Math.min(bytes.length, 1 << 22)));
  const match = /<AppendedData\s+encoding='(raw|base64)'/.exec(probe);
  if (!match) return buffer;
  const copy = bytes.slice();
  const open = match.index + match[0].indexOf("'");
  const close = match.index + match[0].lastIndexOf("'");
  copy[open] = 0x22;
  copy[close] = 0x22;
  return copy.buffer;
}

export function parseSurface(buffer, label) {
  const reader = vtkXMLPolyDataReader.newInstance();
  const ok = reader.parseAsArrayBuffer(normaliseAppendedTag(buffer));
  const data = ok === false ? null : reader.getOutputData(0);
  if (!data || !data.getPoints() || data.getPoints().getNumberOfPoints() === 0)
    throw new Error(label + " could not be read as VTK XML PolyData");
  return data;
}

export async function fetchSurface(url, label) {
  const res = await fetch(url, { cache: "no-store" });
  if (!res.ok) throw new Error(label + ": the server answered " + res.status);
  return parseSurface(await res.arrayBuffer(), label);
}
