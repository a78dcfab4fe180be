// libFuzzer target for the geometry engine's reader: any bytes go in; the engine may refuse
// them through its error queue or draw them, but must not crash, hang or leak.

#include "vsp/geometry_error.hpp"
#include "vsp/mesh_check.hpp"
#include "vsp/model.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// Lookups and edits the design-variable code makes, on whatever the input holds.
void exercise_parameters(orvanta::vsp::Model& m) {
  const auto& data = m.data();
  for (const auto& g : data.geoms) {
    const std::string id = data.containers[g.container].id;
    const std::string surf = m.xsec_surf(id, 0);
    for (int i = 0; i < static_cast<int>(g.xsecs.size()) && i < 4; ++i) {
      const std::string xsec = m.xsec(surf, i);
      for (const char* name : {"Span", "Root_Chord", "Tip_Chord", "Sweep", "ThickChord", "Au_1"}) {
        const std::string parm = m.xsec_parm(xsec, name);
        if (!parm.empty()) m.set_parm_value(parm, *m.parm_value(parm) * 1.1);
      }
      m.find_parm(id, "Au_0", "UpperCoeff_" + std::to_string(i));
    }
    m.find_parm(id, "X_Rel_Location", "XForm");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  orvanta::vsp::Model m;
  if (!m.read_text(std::string_view(reinterpret_cast<const char*>(bytes), size), "fuzz input")) return 0;
  exercise_parameters(m);
  m.update();
  try {
    // A small limit keeps each input fast; larger densities are refused the same way.
    for (const auto& c : m.geometry(0, 200000)) {
      const auto check = orvanta::vsp::check_mesh(c.tessellate());
      if (check.triangles > 0 && !check.watertight()) __builtin_trap();  // every drawn component must close
    }
  } catch (const orvanta::vsp::GeometryBuildError&) {
    // Refusing to draw is a valid answer for a fuzzed model.
  }
  return 0;
}
