#pragma once
// The 3D surface viewer of one case: a page that renders the case's surface files in the
// browser, a status answer that lists them with the freestream reference values for Cp, and
// the surface files themselves.

#include "host/viewers/http_reply.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace orvanta::viewers {

struct ViewerSettings {
  std::filesystem::path case_dir;
  std::vector<std::string> files;  // case-relative .vtp surfaces
  int port = 0;
};

// Short label of a surface for the page: "VTK/boundary_optimized.vtp" -> "optimized",
// "VTK/boundary.vtp" -> "surface".
std::string surface_label(const std::string& path);

// Reference values for Cp from the case's bound inputs (<case>/.orvanta/inputs.json,
// "mach_number"): {"mach_number", "reference_pressure", "dynamic_pressure", "u0"}, or null
// with `note` saying why there are none.
Json surface_reference_values(const std::filesystem::path& case_dir, std::string& note);

class ViewerApp {
 public:
  explicit ViewerApp(ViewerSettings settings);

  HttpReply handle(const std::string& target) const;
  Json status() const;
  std::string page_html() const;

 private:
  ViewerSettings s_;
};

}  // namespace orvanta::viewers
