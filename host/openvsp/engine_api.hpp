#pragma once
// The geometry engine (vsp/) behind the OpenVspApi interface.

#include "host/openvsp/provider.hpp"

namespace orvanta::openvsp {

// Provider of the process-wide engine-backed API.
Provider engine_provider();

}  // namespace orvanta::openvsp
