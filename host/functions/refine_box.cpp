#include "host/functions/refine_box.hpp"

#include "host/base/errors.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace orvanta {
namespace {

[[noreturn]] void bad_box(const Json& box) {
  throw ValueError("local_refine_box must be two corners [[x0, y0, z0], [x1, y1, z1]] of finite numbers, got " +
                   box.dump() + ".");
}

std::array<double, 3> corner(const Json& box, const Json& c) {
  if (!c.is_array() || c.size() != 3) bad_box(box);
  std::array<double, 3> out{};
  for (size_t i = 0; i < 3; ++i) {
    if (!c[i].is_number()) bad_box(box);
    out[i] = c[i].get<double>();
    if (!std::isfinite(out[i])) bad_box(box);
  }
  return out;
}

}  // namespace

std::vector<std::string> build_box_local_refine_commands(const Json& box, bool is2D) {
  if (box.is_null()) return {};
  if (!box.is_array() || box.size() != 2) bad_box(box);
  const auto a = corner(box, box[0]);
  const auto b = corner(box, box[1]);

  // Corners may come in any order: topoSet wants the minimum corner first.
  std::string lo, hi;
  for (size_t i = 0; i < 3; ++i) {
    lo += (i ? " " : "") + real_text(std::min(a[i], b[i]));
    hi += (i ? " " : "") + real_text(std::max(a[i], b[i]));
  }
  const std::string refine_dict = is2D ? "system/refineMeshDict_2d" : "system/refineMeshDict";
  return {
      "cp system/topoSetDict_refine_box system/topoSetDict >> log_mesh.txt 2>&1",
      "sed -i \"s/^[[:space:]]*box .*/        box (" + lo + ") (" + hi + ");/\" system/topoSetDict >> log_mesh.txt 2>&1",
      "topoSet >> log_mesh.txt 2>&1",
      "refineMesh -dict " + refine_dict + " -overwrite >> log_mesh.txt 2>&1",
      // refineMesh leaves its cell map in 0/polyMesh; without this the run's final copy of
      // 0_orig would land inside 0/ instead of becoming it.
      "rm -rf 0 >> log_mesh.txt 2>&1",
  };
}

}  // namespace orvanta
