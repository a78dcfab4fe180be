#include "src/aircraft_generate_cfd_mesh/background_mesh.hpp"

#include <algorithm>
#include <cmath>

namespace orvanta {

BackgroundMesh background_mesh(double reference_length, double max_cell_size) {
  auto count = [](double quotient) { return std::isfinite(quotient) ? std::max(1.0, std::trunc(quotient)) : quotient; };
  BackgroundMesh b;
  b.extent = 40.0 * reference_length;
  b.nx = count(b.extent / max_cell_size);
  b.ny = count(0.5 * b.extent / max_cell_size);
  return b;
}

}  // namespace orvanta
