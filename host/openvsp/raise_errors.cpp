#include "host/openvsp/raise_errors.hpp"

#include "host/base/errors.hpp"

namespace orvanta {

void openvsp_raise_errors(openvsp::OpenVspApi& api, const std::string& message) {
  if (api.GetNumTotalErrors() <= 0) return;
  std::string details;
  for (const auto& e : api.PopAllErrors()) details += (details.empty() ? "" : "; ") + e.text;
  throw GeometryError(details.empty() ? message : message + ": " + details);
}

}  // namespace orvanta
