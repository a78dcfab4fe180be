#include "host/openvsp/reference_geometry.hpp"

#include "host/base/errors.hpp"

namespace orvanta {

// Replaced by the engine's planform measurement.
Json read_vsp_reference_geometry(const std::string&, const std::string&) {
  throw ImportError("The geometry engine is not built into this orvanta yet.");
}

}  // namespace orvanta
