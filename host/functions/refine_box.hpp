#pragma once
#include "host/base/values.hpp"

#include <string>
#include <vector>

namespace orvanta {

// Commands that refine the mesh cells inside a box [[x0, y0, z0], [x1, y1, z1]] once, with
// topoSet (select the cells) and refineMesh (split them). None without a box; a malformed
// box is a ValueError before anything starts.
std::vector<std::string> build_box_local_refine_commands(const Json& local_refine_box, bool is2D = false);

}  // namespace orvanta
