#include "host/viewers/viewer_app.hpp"

#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "host/base/paths.hpp"
#include "host/functions/pressure_profile.hpp"
#include "host/viewers/case_files.hpp"
#include "host/viewers/html_text.hpp"

#include <unistd.h>

#include <sstream>

namespace orvanta::viewers {
namespace fs = std::filesystem;

std::string surface_label(const std::string& path) {
  std::string stem = fs::path(path).stem().string();
  if (stem.rfind("boundary_", 0) == 0) stem = stem.substr(9);
  if (stem.empty() || stem == "boundary") return "surface";
  return stem;
}

Json surface_reference_values(const fs::path& case_dir, std::string& note) {
  const fs::path inputs_file = case_dir / ".orvanta" / "inputs.json";
  if (!fs::is_regular_file(inputs_file)) {
    note = "Cp is not offered: the case has no bound inputs (.orvanta/inputs.json) to take the Mach number from.";
    return nullptr;
  }
  try {
    const Json inputs = read_json_object_file(inputs_file.string());
    if (!inputs.contains("mach_number") || inputs["mach_number"].is_null()) {
      note = "Cp is not offered: the case's inputs have no mach_number.";
      return nullptr;
    }
    const Json ref = compute_pressure_profile_reference_values(inputs["mach_number"]);
    Json out = Json::object();
    out["mach_number"] = to_real(inputs["mach_number"]);
    out["reference_pressure"] = ref["reference_pressure"];
    out["dynamic_pressure"] = ref["pressure_coefficient_scale"];
    out["u0"] = ref["u0"];
    return out;
  } catch (const OrvantaError& e) {
    // The page still shows p and |U|; the reason Cp is missing is reported, not hidden.
    note = std::string("Cp is not offered: ") + e.what();
    return nullptr;
  }
}

ViewerApp::ViewerApp(ViewerSettings settings) : s_(std::move(settings)) {
  if (s_.files.empty()) throw ValueError("The 3D viewer needs at least one surface file.");
}

Json ViewerApp::status() const {
  Json surfaces = Json::array();
  for (const auto& f : s_.files) {
    const FileState st = file_state(s_.case_dir, f);
    Json item = Json::object();
    item["path"] = f;
    item["label"] = surface_label(f);
    item["url"] = "/" + percent_encode_path(f);
    item["exists"] = st.exists;
    item["mtime"] = st.mtime;
    item["size"] = st.size;
    surfaces.push_back(item);
  }
  std::string note;
  Json j = Json::object();
  j["server"] = "orvanta";
  j["kind"] = "viewer";
  j["pid"] = static_cast<long>(getpid());
  j["port"] = s_.port;
  j["case_dir"] = s_.case_dir.string();
  j["case_name"] = s_.case_dir.filename().string();
  j["surfaces"] = surfaces;
  j["reference"] = surface_reference_values(s_.case_dir, note);
  j["reference_note"] = note;
  return j;
}

std::string ViewerApp::page_html() const {
  const std::string case_name = s_.case_dir.filename().string();
  const bool bundle = fs::is_regular_file(web_dir() / "dist" / "viewer.js");
  std::ostringstream h;
  h << "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    << "<title>" << html_escape("3D surfaces - " + case_name) << "</title>\n"
    << "<link rel=\"stylesheet\" href=\"" << kStaticPrefix << "viewer.css\">\n</head>\n<body>\n"
    << "<div id=\"app\" data-status=\"" << kStatusPath << "\">\n"
    << "  <aside id=\"panel\">\n    <h1>3D surfaces</h1>\n    <p class=\"meta\">Case <code>" << html_escape(case_name)
    << "</code></p>\n    <ul id=\"surface-list\">\n";
  for (const auto& f : s_.files)
    h << "      <li><code>" << html_escape(f) << "</code> (" << html_escape(surface_label(f)) << ")</li>\n";
  h << "    </ul>\n    <div id=\"controls\"></div>\n";
  if (!bundle)
    h << "    <p id=\"viewer-error\" class=\"error\">The viewer's script bundle (web/dist/viewer.js) is missing: "
         "run scripts/setup to build the browser side.</p>\n";
  h << "  </aside>\n  <main id=\"views\"></main>\n</div>\n"
    << "<div id=\"viewer-state\" data-state=\"" << (bundle ? "loading" : "error") << "\" hidden></div>\n"
    << "<script src=\"" << kStaticPrefix << "viewer.js\"></script>\n</body>\n</html>\n";
  return h.str();
}

HttpReply ViewerApp::handle(const std::string& target) const {
  std::string relative;
  if (auto common = common_reply(target, relative)) return *common;
  if (relative.empty() || relative == "index.html") return html_reply(page_html());
  if (relative == std::string(kStatusPath).substr(1)) return json_reply(status());
  return case_file_reply(s_.case_dir, relative);
}

}  // namespace orvanta::viewers
