#!/usr/bin/env bash
# Builds every fuzz target with clang (in build-fuzz/ beside build/) and runs each for a
# short while (ORVANTA_FUZZ_SECONDS, default 60) from its seeds. Any crash, leak, sanitizer
# report or hang fails the run, and the input that caused it is kept in the log.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${ORVANTA_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${ORVANTA_FUZZ_SECONDS:-60}"
work="$(mktemp -d /tmp/orvanta_fuzz_XXXXXX)"
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DORVANTA_BUILD_FUZZ=ON \
  -DORVANTA_BUILD_TESTS=OFF -DORVANTA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target vsp_reader_fuzz mcp_message_fuzz log_readers_fuzz

# target  seeds  extra flags
run() {
  local target="$1" seeds="$2"; shift 2
  mkdir -p "$work/$target"
  echo "fuzz: $target for ${seconds} s"
  (cd "$work" && "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
     -print_final_stats=1 "$@" "$work/$target" "$here/$seeds" 2>"$work/$target.log") || {
    grep -v '^#' "$work/$target.log" | tail -40
    echo "fuzz: $target FAILED"
    return 1
  }
  grep -E '^stat::number_of_executed_units|^Done' "$work/$target.log" | tr '\n' ' '
  echo
}

status=0
run vsp_reader_fuzz corpus -dict="$here/vsp3.dict" -max_len=20000 || status=1
run mcp_message_fuzz corpus_mcp -dict="$here/mcp.dict" -max_len=4096 || status=1
run log_readers_fuzz corpus_logs -max_len=8192 || status=1
exit "$status"
