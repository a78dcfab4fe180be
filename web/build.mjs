// Bundles the 3D viewer (vtk.js is published as ES modules only) into dist/viewer.js, one
// classic script that the viewer server serves from this machine: nothing is fetched from
// the internet when a page is opened.
import { build } from "esbuild";
import { fileURLToPath } from "node:url";
import path from "node:path";

const here = path.dirname(fileURLToPath(import.meta.url));

await build({
  entryPoints: [path.join(here, "src/viewer/main.js")],
  outfile: path.join(here, "dist/viewer.js"),
  bundle: true,
  format: "iife",
  minify: true,
  sourcemap: true,
  target: ["chrome100", "firefox100", "safari15"],
  logLevel: "warning",
  legalComments: "external",
  // vtk.js's XML reader imports xmlbuilder2, whose main entry needs Node's "events" and
  // "url"; the package ships a browser build that needs neither.
  alias: { xmlbuilder2: path.join(here, "node_modules/xmlbuilder2/lib/xmlbuilder2.min.js") },
});
console.log("built dist/viewer.js");
