#pragma once
// What the protocol server needs from whatever does the work behind its tools: the tool
// list and a way to call one. The protocol side knows nothing of cases or skills.

#include "host/base/values.hpp"

#include <functional>
#include <optional>
#include <string>

namespace orvanta::app {

// Reports a step of a long call: how far, out of how much (when known), and what.
using ToolProgress = std::function<void(double progress, std::optional<double> total, const std::string& message)>;

class ToolBackend {
 public:
  virtual ~ToolBackend() = default;
  // The tools as tools/list publishes them; fixed for the life of the backend.
  virtual const Json& tools() const = 0;
  // Runs a tool; the answer is an MCP tool result (isError set for tool errors). Tool
  // failures come back as results, never as exceptions.
  virtual Json call(const std::string& name, const Json& arguments, const ToolProgress& progress) = 0;
};

}  // namespace orvanta::app
