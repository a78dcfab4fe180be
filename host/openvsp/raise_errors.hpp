#pragma once
#include "host/openvsp/api.hpp"

#include <string>

namespace orvanta {

// Raises a GeometryError carrying `message` (followed by the recorded errors) when the
// API's error queue is not empty, and drains the queue; returns otherwise.
void openvsp_raise_errors(openvsp::OpenVspApi& api, const std::string& message);

}  // namespace orvanta
