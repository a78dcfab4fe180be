#pragma once
#include "host/base/recording_host_services.hpp"

#include <memory>

namespace orvanta::app {

// The host services of a real run. Every call is also recorded in `recorder`, so what a
// phase started can be reported.
std::shared_ptr<HostServices> make_host_services(std::shared_ptr<RecordingHostServices> recorder);

}  // namespace orvanta::app
