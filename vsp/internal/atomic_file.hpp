#pragma once
// Writing a file so that readers see either the old content or the complete new one: the
// text goes to a temporary file in the same directory, which then replaces the target.

#include <cstdio>
#include <functional>
#include <string>

namespace orvanta::vsp::internal {

// Calls `write` with an open temporary file beside `path`, then renames it to `path`.
// Throws std::runtime_error with the reason when any step fails; the temporary is removed.
void write_atomically(const std::string& path, const std::function<bool(std::FILE*)>& write);

}  // namespace orvanta::vsp::internal
