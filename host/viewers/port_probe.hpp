#pragma once
// Looking at a loopback port from the outside: does anything listen, does it answer as one
// of our servers, and which program holds it. Every probe has a short timeout, so a program
// that accepts connections and never answers cannot hang the caller.

#include <optional>
#include <string>

namespace orvanta::viewers {

struct HttpAnswer {
  bool answered = false;  // a complete HTTP response arrived in time
  int status = 0;
  std::string body;
};

// GET http://127.0.0.1:<port><path>, giving up after `timeout_ms` in total.
HttpAnswer http_get_local(int port, const std::string& path, int timeout_ms = 1500);

// True when 127.0.0.1:<port> cannot be bound because something holds it.
bool port_in_use(int port);

struct PortHolder {
  long pid = 0;
  std::string program;  // the process's short name (comm)
};

// The process listening on the port, when /proc tells (our own processes, or any as root).
std::optional<PortHolder> find_port_holder(int port);

}  // namespace orvanta::viewers
