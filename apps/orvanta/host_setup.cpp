#include "apps/orvanta/host_setup.hpp"

namespace orvanta::app {

// Until the runner and viewers exist, real runs only record.
std::shared_ptr<HostServices> make_host_services(std::shared_ptr<RecordingHostServices> recorder) {
  return recorder;
}

}  // namespace orvanta::app
