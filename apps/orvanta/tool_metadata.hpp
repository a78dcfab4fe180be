#pragma once
// What the tool list says about each tool beyond its inputs: a title, the hints hosts use to
// decide what may run unattended or in parallel, and the shape of its structured result.

#include "host/base/values.hpp"

#include <string>

namespace orvanta::app {

// Adds "title", "annotations" and "outputSchema" to a tool entry of tools/list (which holds
// "name", "description" and "inputSchema").
void add_tool_metadata(Json& tool);

// The structured result of a tool answer: the JSON the text item carries, as an object
// (a list of cases becomes {"cases": [...]}).
Json structured_content(const std::string& tool, const Json& value);

}  // namespace orvanta::app
