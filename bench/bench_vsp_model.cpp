// Reading the packaged model: plain XML parsing against the engine's read (parse, interpret,
// update), the design-variable input metadata with the engine behind the geometry API, and a
// whole read, update and STL export.

#include "host/openvsp/engine_api.hpp"
#include "host/openvsp/provider.hpp"
#include "src/design_vars/design_vars.hpp"
#include "vsp/model.hpp"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <filesystem>
#include <string>

namespace {

const std::string kModel = std::string(ORVANTA_SOURCE_DIR) + "/assets/aircraft_assets/aircraft.vsp3";

void BM_ParseXmlOnly(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_file(kModel.c_str()));
  }
}
BENCHMARK(BM_ParseXmlOnly)->Unit(benchmark::kMillisecond);

void BM_ReadAndUpdateModel(benchmark::State& state) {
  for (auto _ : state) {
    orvanta::vsp::Model m;
    if (!m.read_file(kModel)) state.SkipWithError("read failed");
    m.update();
  }
}
BENCHMARK(BM_ReadAndUpdateModel)->Unit(benchmark::kMillisecond);

void BM_LoadDesignVarInputInfo(benchmark::State& state) {
  orvanta::openvsp::ScopedProvider engine(orvanta::openvsp::engine_provider());
  for (auto _ : state) benchmark::DoNotOptimize(orvanta::load_vsp_design_var_input_info());
}
BENCHMARK(BM_LoadDesignVarInputInfo)->Unit(benchmark::kMillisecond);

void BM_ReadUpdateExportPackaged(benchmark::State& state) {
  const std::string stl = (std::filesystem::temp_directory_path() / "bench_vsp_packaged.stl").string();
  size_t triangles = 0;
  for (auto _ : state) {
    orvanta::vsp::Model m;
    m.read_file(kModel);
    m.update();
    orvanta::vsp::Model::ExportSummary summary;
    if (!m.export_stl(stl, 0, "aircraft", &summary)) state.SkipWithError("export failed");
    triangles = summary.triangles;
  }
  state.counters["triangles"] = static_cast<double>(triangles);
  std::filesystem::remove(stl);
}
BENCHMARK(BM_ReadUpdateExportPackaged)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
