#pragma once
// The HTTP side of the gallery and the 3D viewer, on cpp-httplib, with limits that careless
// or hostile clients on this machine cannot push past: a fixed number of connections, each
// with its own worker thread (one more is refused at once); a request must arrive whole
// soon after its first byte; files go out in chunks from the descriptor that was checked.

#include "host/viewers/http_reply.hpp"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace orvanta::app {

struct ViewerServerLimits {
  size_t connections = 32;  // worker threads; a browser opens about six
  // cpp-httplib's read timeout counts per recv: a client sending a byte every few seconds
  // would hold its worker forever without a deadline for the whole request.
  std::chrono::milliseconds request_deadline{10000};  // from a request's first byte to its end
  std::chrono::milliseconds idle_timeout{5000};       // for the first byte of a request
  int listen_backlog = 64;
};

using ViewerHandler = std::function<viewers::HttpReply(const std::string& target)>;

// Serves `handle` on 127.0.0.1:`port` until SIGTERM, SIGINT or SIGHUP and returns the exit
// status (1 when the port cannot be bound). Requests whose Host header names anything but
// this machine's loopback get 403. `what` names the server in its log lines; `page` is
// the page named in the "serving" line.
int serve_viewer_http(const ViewerHandler& handle, int port, const std::string& what, const std::string& page,
                      const ViewerServerLimits& limits = {});

}  // namespace orvanta::app
