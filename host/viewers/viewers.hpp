#pragma once
// The host's face for the two viewer servers that analyze phases ask for: the figure
// gallery and the 3D surface viewer. Servers run as background `orvanta serve-gallery` /
// `orvanta serve-viewer` processes bound to 127.0.0.1; a launch on a port that a server of
// ours holds replaces it; a port held by another program is left alone and explained.

#include "host/base/host_services.hpp"
#include "host/viewers/server_records.hpp"

#include <string>
#include <utility>
#include <vector>

namespace orvanta::viewers {

// Starts (or replaces) the gallery on launch.port; returns once it answers or has failed.
// FileNotFoundError for a missing case directory, ValueError for a bad page name or port.
void launch_gallery(const GalleryLaunch& launch);
// (running, "http://127.0.0.1:PORT/PAGE"): running when our gallery answers there with that page.
std::pair<bool, std::string> review_gallery(const std::string& page, int port);

void launch_viewer(const ViewerLaunch& launch);
// (running, "http://127.0.0.1:PORT/")
std::pair<bool, std::string> review_viewer(int port);

// Empty when one of our servers answers on the port; otherwise a sentence saying what is
// wrong (nothing runs there, or another program holds the port).
std::string port_note(int port);

// Stops the server the host started on the port, if any, and forgets it.
void stop_server(int port);

// The servers the host has records of (live or not), by port.
std::vector<ServerRecord> recorded_servers();

}  // namespace orvanta::viewers
