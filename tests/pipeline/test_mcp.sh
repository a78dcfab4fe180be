#!/usr/bin/env bash
# The tool server as agents see it: the official MCP client lists the tools and drives a
# small mesh case to its verdict; the MCP Inspector's CLI lists the tools too.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mcp_dir="$here/../mcp"
work="$(mktemp -d /tmp/orvanta_mcp_XXXXXX)"
trap '"$ORVANTA_BIN" viewers stop --all >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

node "$mcp_dir/mcp_client_test.mjs" "$ORVANTA_BIN" "$work"

listed="$(cd "$work" && KESTRAN_WORK_DIR="$work" timeout 120 "$mcp_dir/node_modules/.bin/mcp-inspector" --cli "$ORVANTA_BIN" serve --method tools/list)"
for tool in generate-cfd-mesh run-cfd-simulation run-aero-optimization check_case list_cases; do
  grep -q "\"name\": \"$tool\"" <<<"$listed" || { echo "inspector did not list $tool"; exit 1; }
done
echo "inspector lists the tools"
