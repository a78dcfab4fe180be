// Tessellation throughput: the packaged aircraft at about 200 000 triangles, tessellated in
// memory, formatted as STL text, and exported to a file.

#include "vsp/model.hpp"
#include "vsp/stl_writer.hpp"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

const std::string kModel = std::string(ORVANTA_SOURCE_DIR) + "/assets/aircraft_assets/aircraft.vsp3";

// The packaged model with its density raised: wing 200 x 200 quads per half, fuselage
// 160 around and 24 steps per segment.
void densify(orvanta::vsp::Model& m) {
  const std::string wing = m.find_geoms_with_name("Wing").at(0);
  const std::string body = m.find_geoms_with_name("Fuselage").at(0);
  m.set_parm_value(m.find_parm(wing, "Tess_W", "Shape"), 201);
  m.set_parm_value(m.find_parm(wing, "SectTess_U", "XSec_1"), 201);
  m.set_parm_value(m.find_parm(body, "Tess_W", "Shape"), 161);
  for (int i = 1; i <= 5; ++i) m.set_parm_value(m.find_parm(body, "SectTess_U", "XSec_" + std::to_string(i)), 25);
  m.update();
}

orvanta::vsp::TriMesh tessellate(const orvanta::vsp::Model& m) {
  orvanta::vsp::TriMesh all;
  for (const auto& c : m.geometry()) c.tessellate_into(all);
  return all;
}

void BM_Tessellate200k(benchmark::State& state) {
  orvanta::vsp::Model m;
  m.read_file(kModel);
  densify(m);
  size_t triangles = 0;
  for (auto _ : state) triangles = tessellate(m).triangles.size();
  state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_Tessellate200k)->Unit(benchmark::kMillisecond);

void BM_StlText200k(benchmark::State& state) {
  orvanta::vsp::Model m;
  m.read_file(kModel);
  densify(m);
  const orvanta::vsp::TriMesh mesh = tessellate(m);
  for (auto _ : state) benchmark::DoNotOptimize(orvanta::vsp::stl_text(mesh, "aircraft"));
  state.counters["triangles"] = static_cast<double>(mesh.triangles.size());
}
BENCHMARK(BM_StlText200k)->Unit(benchmark::kMillisecond);

void BM_Export200k(benchmark::State& state) {
  orvanta::vsp::Model m;
  m.read_file(kModel);
  densify(m);
  const std::string stl = (std::filesystem::temp_directory_path() / "bench_vsp_200k.stl").string();
  orvanta::vsp::Model::ExportSummary summary;
  for (auto _ : state)
    if (!m.export_stl(stl, 0, "aircraft", &summary)) state.SkipWithError("export failed");
  state.counters["triangles"] = static_cast<double>(summary.triangles);
  std::filesystem::remove(stl);
}
BENCHMARK(BM_Export200k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
