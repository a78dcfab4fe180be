#pragma once
#include <string>

namespace orvanta {

// Exports a user's model unchanged as one STL surface holding every component.
void export_custom_vsp3_stl(const std::string& vsp3_path, const std::string& stl_path);

}  // namespace orvanta
