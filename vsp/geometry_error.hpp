#pragma once
// A model whose geometry the engine cannot draw: an unsupported component, curve or
// placement, or parameters without a valid shape. The message names the component.

#include <stdexcept>

namespace orvanta::vsp {

class GeometryBuildError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace orvanta::vsp
