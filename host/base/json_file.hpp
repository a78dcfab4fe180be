#pragma once
#include "host/base/values.hpp"

#include <string>

namespace orvanta {

// Text with every byte that is not part of valid UTF-8 dropped.
std::string drop_invalid_utf8(const std::string& bytes);

// A metrics file written by a case-local script: read as UTF-8 (undecodable bytes dropped)
// and parsed; FormatError when it is not JSON or its top level is not an object.
Json read_json_object_file(const std::string& path);

// Writes JSON through a temporary file of this writer's own in the same folder, synced, then
// renamed over the target: readers never see half a file, and concurrent writers of one
// file never trip over each other's temporary (the last rename wins). OSError on failure.
void write_json_file_atomic(const std::string& path, const Json& value, int indent = 2);

}  // namespace orvanta
