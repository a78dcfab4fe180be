#include "apps/orvanta/host_setup.hpp"

#include "host/runner/local_host_services.hpp"
#include "host/viewers/viewers.hpp"

namespace orvanta::app {

std::shared_ptr<HostServices> make_host_services(std::shared_ptr<RecordingHostServices> recorder) {
  return std::make_shared<LocalHostServices>(
      ViewerBackend{viewers::launch_gallery, viewers::review_gallery, viewers::launch_viewer, viewers::review_viewer},
      std::move(recorder));
}

}  // namespace orvanta::app
