// libFuzzer target for what the reviews read back from a case: solver logs, checkMesh
// metrics and metrics JSON files. Any bytes go in; the readers may refuse them with one of
// our errors, but must not crash, hang or throw anything else.

#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "host/base/values.hpp"
#include "host/functions/mesh_quality.hpp"
#include "host/functions/simulation_log.hpp"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const orvanta::Json& quality_thresholds() {
  static const orvanta::Json t = orvanta::Json::parse(R"({
    "max_nonorthogonality_pass": 65, "max_nonorthogonality_warning": 75,
    "severe_nonorthogonal_faces_pass": 50, "severe_nonorthogonal_faces_warning": 2000,
    "max_skewness_pass": 4.0, "max_skewness_warning": 10.0,
    "max_aspect_ratio_pass": 1000.0, "max_aspect_ratio_warning": 10000.0,
    "n_cells_pass": 8000000, "n_cells_warning": 14000000})");
  return t;
}

// Conversions the reviews apply to metric values, on every member of a parsed object.
void convert_members(const orvanta::Json& metrics) {
  for (const auto& [key, value] : metrics.items()) {
    try {
      (void)orvanta::to_real(value);
      (void)orvanta::to_int(value);
    } catch (const orvanta::OrvantaError&) {
    }
    (void)orvanta::truthy(value);
    (void)orvanta::to_text(value);
  }
}

const std::string& scratch_file() {
  static const std::string path = "/tmp/orvanta_log_readers_fuzz_" + std::to_string(getpid()) + ".json";
  return path;
}

void read_metrics_file(const std::string& text) {
  { std::ofstream(scratch_file(), std::ios::binary | std::ios::trunc) << text; }
  try {
    const orvanta::Json metrics = orvanta::read_json_object_file(scratch_file());
    convert_members(metrics);
    (void)orvanta::assess_mesh_quality(metrics, quality_thresholds());
  } catch (const orvanta::OrvantaError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  const orvanta::Json log = orvanta::parse_simulation_log_text(text);
  if (!log.is_object() || !log.contains("cd")) std::abort();
  read_metrics_file(text);
  return 0;
}
