// Drives headless Chromium over its DevTools protocol for checks that a one-shot
// --dump-dom cannot make: wait until a page reaches a state, change a file while the page
// is open, see the page follow. Steps run in the order given:
//   --url URL              open the page
//   --wait JS              poll until the expression is true (fails after --timeout ms)
//   --copy SRC DST         copy a file (e.g. write a figure while the page is open)
//   --screenshot FILE      save a PNG of the page
// Needs Node's WebSocket: run with `node --experimental-websocket` on Node 20.
import { spawn } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

const args = process.argv.slice(2);
let timeoutMs = 30000;
let size = "1400,800";
const steps = [];
for (let i = 0; i < args.length; i++) {
  const a = args[i];
  if (a === "--timeout") timeoutMs = Number(args[++i]);
  else if (a === "--window-size") size = args[++i];
  else if (a === "--url" || a === "--wait" || a === "--screenshot") steps.push([a, args[++i]]);
  else if (a === "--copy") steps.push([a, args[++i], args[++i]]);
  else throw new Error("unknown argument " + a);
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const profile = fs.mkdtempSync(path.join(os.tmpdir(), "orvanta_chrome_"));
const chrome = spawn("chromium", [
  "--headless", "--no-sandbox", "--disable-gpu", "--enable-unsafe-swiftshader", "--disable-quic",
  "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
  `--user-data-dir=${profile}`, `--window-size=${size}`, "--remote-debugging-port=0", "about:blank",
], { stdio: "ignore", detached: true });  // its own process group, so its helpers die with it

const exited = new Promise((resolve) => chrome.on("exit", resolve));

async function cleanup() {
  try {
    process.kill(-chrome.pid, "SIGKILL");
  } catch {
    chrome.kill("SIGKILL");
  }
  await exited;
  // Helper processes may still be flushing into the profile for a moment after the browser
  // is gone; a profile left behind in the temporary folder is not the page's fault.
  try {
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  } catch (e) {
    console.error(`page_watch: could not remove ${profile}: ${e.code}`);
  }
}

async function devtoolsPort() {
  const file = path.join(profile, "DevToolsActivePort");
  for (let i = 0; i < 200; i++) {
    if (fs.existsSync(file)) {
      const port = fs.readFileSync(file, "utf8").split("\n")[0];
      if (port) return port;
    }
    await sleep(50);
  }
  throw new Error("Chromium did not open its DevTools port");
}

async function connect() {
  const port = await devtoolsPort();
  const targets = await (await fetch(`http://127.0.0.1:${port}/json/list`)).json();
  const page = targets.find((t) => t.type === "page");
  const ws = new WebSocket(page.webSocketDebuggerUrl);
  await new Promise((resolve, reject) => { ws.onopen = resolve; ws.onerror = reject; });
  let next = 1;
  const pending = new Map();
  ws.onmessage = (event) => {
    const msg = JSON.parse(event.data);
    if (msg.id && pending.has(msg.id)) {
      pending.get(msg.id)(msg);
      pending.delete(msg.id);
    }
  };
  return (method, params = {}) => new Promise((resolve, reject) => {
    const id = next++;
    pending.set(id, (msg) => (msg.error ? reject(new Error(method + ": " + msg.error.message)) : resolve(msg.result)));
    ws.send(JSON.stringify({ id, method, params }));
  });
}

async function evaluate(send, expression) {
  const r = await send("Runtime.evaluate", { expression, returnByValue: true });
  return r.result ? r.result.value : undefined;
}

async function main() {
  const send = await connect();
  await send("Page.enable");
  await send("Runtime.enable");
  for (const [kind, a, b] of steps) {
    if (kind === "--url") {
      await send("Page.navigate", { url: a });
    } else if (kind === "--copy") {
      fs.copyFileSync(a, b);
    } else if (kind === "--screenshot") {
      const shot = await send("Page.captureScreenshot", { format: "png" });
      fs.writeFileSync(a, Buffer.from(shot.data, "base64"));
    } else if (kind === "--wait") {
      const deadline = Date.now() + timeoutMs;
      let value;
      for (;;) {
        try { value = await evaluate(send, a); } catch (err) { value = String(err); }
        if (value === true) break;
        if (Date.now() > deadline) throw new Error(`timed out waiting for: ${a} (last value ${JSON.stringify(value)})`);
        await sleep(200);
      }
    }
    console.log("ok", kind, a);
  }
}

main().then(
  async () => { await cleanup(); process.exit(0); },
  async (err) => { console.error(String(err.message || err)); await cleanup(); process.exit(1); },
);
