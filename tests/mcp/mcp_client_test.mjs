// Spawns `orvanta serve` through the official MCP client, checks the published tools, starts
// the mesh skill on a small case and polls it to the final verdict.
//
//   node mcp_client_test.mjs <orvanta binary> <working directory> [--latency]
import assert from "node:assert/strict";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";

const [bin, workDir] = process.argv.slice(2);
const measureLatency = process.argv.includes("--latency");
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const textOf = (result) => JSON.parse(result.content[0].text);

const transport = new StdioClientTransport({
  command: bin,
  args: ["serve"],
  env: { ...process.env, KESTRAN_WORK_DIR: workDir, ORVANTA_CI: "1" },
  stderr: "inherit",
});
const client = new Client({ name: "orvanta-test", version: "1.0.0" });
await client.connect(transport);
console.log("connected:", client.getServerVersion().name, "protocol", transport._protocolVersion ?? "(negotiated)");

const { tools } = await client.listTools();
const byName = Object.fromEntries(tools.map((t) => [t.name, t]));
assert.deepEqual(tools.slice(0, 3).map((t) => t.name), ["generate-cfd-mesh", "run-cfd-simulation", "run-aero-optimization"]);
for (const name of ["check_case", "list_cases"]) assert.ok(byName[name], `tool ${name}`);
const mesh = byName["generate-cfd-mesh"].inputSchema.properties;
assert.equal(mesh.surface_level.type, "integer");
assert.equal(mesh.surface_level.default, 7);
assert.equal(mesh.n_cpus.default, 2);
assert.deepEqual(mesh.local_refine_box.type, ["array", "null"]);
assert.equal(mesh["Wing:UpperCoeff:Au"].type, "array");
assert.equal(mesh["Wing:UpperCoeff:Au"].default.length, 24);  // six per section, four sections
assert.equal(byName["run-cfd-simulation"].inputSchema.properties.mach_number.default, 0.3);
assert.equal(byName["run-aero-optimization"].inputSchema.properties.mach_number.default, "$prereq.mach_number");
assert.equal(byName["run-aero-optimization"].inputSchema.properties.optimizer.default, "SLSQP");
// Titles, hints and output schemas (the client validates every structured answer against them).
for (const t of tools) {
  assert.ok(t.title && t.annotations && t.outputSchema, `tool ${t.name} metadata`);
  assert.equal(t.annotations.openWorldHint, false, t.name);
}
assert.equal(byName["check_case"].annotations.readOnlyHint, true);
assert.equal(byName["stop_case"].annotations.destructiveHint, true);
assert.equal(byName["generate-cfd-mesh"].annotations.destructiveHint, false);
console.log("tools:", tools.map((t) => t.name).join(", "));

// A bad call is a tool error with the exact message, and the server carries on.
const bad = await client.callTool({ name: "check_case", arguments: { case_name: "../etc" } });
assert.equal(bad.isError, true);
assert.match(textOf(bad).error.message, /must be a single plain name/);

if (measureLatency) {
  const median = (xs) => xs.sort((a, b) => a - b)[Math.floor(xs.length / 2)];
  const time = async (f) => { const t = process.hrtime.bigint(); await f(); return Number(process.hrtime.bigint() - t) / 1e6; };
  const list = [], call = [];
  for (let i = 0; i < 100; i++) list.push(await time(() => client.listTools()));
  for (let i = 0; i < 100; i++) call.push(await time(() => client.callTool({ name: "list_cases", arguments: {} })));
  console.log(`latency median over 100: tools/list ${median(list).toFixed(2)} ms, tools/call ${median(call).toFixed(2)} ms`);
  await client.close();
  process.exit(0);
}

// A small mesh case, started with progress notifications, then polled to its verdict.
const progress = [];
const started = await client.callTool(
  { name: "generate-cfd-mesh", arguments: { case_name: "mcp_mesh", surface_level: 3, n_cpus: 2, n_boundary_layers: 2,
      advanced_parameters: { curvature_level: -1 } } },
  undefined,
  { onprogress: (p) => progress.push(p) },
);
assert.equal(started.isError, false, JSON.stringify(started));
const startedBody = textOf(started);
assert.equal(startedBody.case_name, "mcp_mesh");
assert.deepEqual(startedBody.results.map((r) => r.phase), ["review_prepare", "review_run"]);
assert.equal(startedBody.results[0].status, "pass");
assert.ok(progress.length >= 2, "progress notifications");
console.log("started:", startedBody.results.map((r) => `${r.phase}=${r.status}`).join(" "), `(${progress.length} progress notes)`);

let verdict = null;
for (let i = 0; i < 600 && !verdict; i++) {
  const polled = textOf(await client.callTool({ name: "check_case", arguments: { case_name: "mcp_mesh" } }));
  const last = polled.results.at(-1);
  if (last.phase === "review_analyze" || last.status === "fail") verdict = last;
  else await sleep(2000);
}
assert.ok(verdict, "the case reached a verdict");
console.log("verdict:", JSON.stringify({ status: verdict.status, n_cells: verdict.n_cells, max_nonorthogonality: verdict.max_nonorthogonality, note: verdict.note }));
assert.equal(verdict.phase, "review_analyze", JSON.stringify(verdict));
assert.ok(["pass", "warning"].includes(verdict.status), JSON.stringify(verdict));
assert.ok(verdict.n_cells > 0);

// Later polls return the stored verdict; the case list shows it.
const againResult = await client.callTool({ name: "check_case", arguments: { case_name: "mcp_mesh" } });
const again = textOf(againResult);
assert.deepEqual(again.results.at(-1), verdict);
assert.deepEqual(againResult.structuredContent, again);  // the verdict as structured data too
assert.deepEqual(startedBody, started.structuredContent);
const casesResult = await client.callTool({ name: "list_cases", arguments: {} });
const cases = textOf(casesResult);
assert.equal(cases.find((c) => c.case_name === "mcp_mesh").verdict, verdict.status);
assert.deepEqual(casesResult.structuredContent.cases, cases);
await client.close();
console.log("mcp client test passed");
