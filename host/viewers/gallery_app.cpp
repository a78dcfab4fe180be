#include "host/viewers/gallery_app.hpp"

#include "host/base/errors.hpp"
#include "host/viewers/case_files.hpp"
#include "host/viewers/figure_titles.hpp"
#include "host/viewers/html_text.hpp"

#include <unistd.h>

#include <regex>
#include <sstream>

namespace orvanta::viewers {
namespace {

std::string version_query(const FileState& st) {
  std::ostringstream q;
  q.precision(17);
  q << "?v=" << st.mtime;
  return q.str();
}

std::string figure_card(const std::filesystem::path& case_dir, const std::string& figure, size_t index) {
  const FileState st = file_state(case_dir, figure);
  const std::string name = html_escape(figure);
  const std::string url = html_escape("/" + percent_encode_path(figure));
  std::ostringstream h;
  h << "  <figure class=\"card " << (st.exists ? "present" : "missing") << "\" id=\"figure-" << index
    << "\" data-path=\"" << name << "\">\n";
  if (st.exists) {
    h << "    <a class=\"frame\" href=\"" << url << "\" target=\"_blank\"><img src=\"" << url
      << html_escape(version_query(st)) << "\" alt=\"" << html_escape(title_from_file_name(figure)) << "\"></a>\n";
  } else {
    h << "    <div class=\"frame placeholder\"><span class=\"mark\">Not written yet</span><code>" << name
      << "</code></div>\n";
  }
  h << "    <figcaption><span class=\"title\">" << html_escape(title_from_file_name(figure))
    << "</span><code class=\"path\">" << name << "</code></figcaption>\n  </figure>\n";
  return h.str();
}

}  // namespace

void check_page_name(const std::string& page) {
  static const std::regex plain(R"([A-Za-z0-9][A-Za-z0-9._-]*\.html)");
  if (!std::regex_match(page, plain))
    throw ValueError("A gallery page must be a plain file name ending in .html, got '" + page + "'.");
}

GalleryApp::GalleryApp(GallerySettings settings) : s_(std::move(settings)) { check_page_name(s_.page); }

Json GalleryApp::status() const {
  Json figures = Json::array();
  size_t present = 0;
  for (const auto& f : s_.figures) {
    const FileState st = file_state(s_.case_dir, f);
    present += st.exists ? 1 : 0;
    Json item = Json::object();
    item["path"] = f;
    item["title"] = title_from_file_name(f);
    item["url"] = "/" + percent_encode_path(f);
    item["exists"] = st.exists;
    item["mtime"] = st.mtime;
    item["size"] = st.size;
    figures.push_back(item);
  }
  Json j = Json::object();
  j["server"] = "orvanta";
  j["kind"] = "gallery";
  j["pid"] = static_cast<long>(getpid());
  j["port"] = s_.port;
  j["page"] = s_.page;
  j["case_dir"] = s_.case_dir.string();
  j["case_name"] = s_.case_dir.filename().string();
  j["present"] = present;
  j["figures"] = figures;
  Json log = Json::object();
  log["path"] = s_.plot_log;
  log["url"] = s_.plot_log.empty() ? "" : "/" + percent_encode_path(s_.plot_log);
  log["exists"] = !s_.plot_log.empty() && file_state(s_.case_dir, s_.plot_log).exists;
  j["plot_log"] = log;
  return j;
}

std::string GalleryApp::page_html() const {
  const std::string title = page_title(s_.page);
  const std::string case_name = s_.case_dir.filename().string();
  size_t present = 0;
  for (const auto& f : s_.figures) present += file_state(s_.case_dir, f).exists ? 1 : 0;
  std::ostringstream h;
  h << "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    << "<title>" << html_escape(title + " - " + case_name) << "</title>\n"
    << "<link rel=\"stylesheet\" href=\"" << kStaticPrefix << "gallery.css\">\n</head>\n<body>\n"
    << "<header>\n  <h1>" << html_escape(title) << "</h1>\n  <p class=\"meta\">Case <code>"
    << html_escape(case_name) << "</code> &middot; <span id=\"summary\">" << present << " of "
    << s_.figures.size() << " figures written</span>";
  if (!s_.plot_log.empty())
    h << " &middot; <a id=\"plot-log\" href=\"/" << html_escape(percent_encode_path(s_.plot_log))
      << "\" target=\"_blank\">plotting log (" << html_escape(s_.plot_log) << ")</a>";
  h << "</p>\n  <p class=\"hint\">Figures appear here as soon as they are written. Click a figure to enlarge it.</p>\n"
    << "</header>\n<main id=\"figures\" class=\"grid\">\n";
  for (size_t i = 0; i < s_.figures.size(); ++i) h << figure_card(s_.case_dir, s_.figures[i], i);
  if (s_.figures.empty()) h << "  <p class=\"empty\">No figures were listed for this page.</p>\n";
  h << "</main>\n<script src=\"" << kStaticPrefix << "gallery.js\"></script>\n</body>\n</html>\n";
  return h.str();
}

HttpReply GalleryApp::handle(const std::string& target) const {
  std::string relative;
  if (auto common = common_reply(target, relative)) return *common;
  if (relative.empty()) return redirect_reply("/" + s_.page);
  if (relative == s_.page) return html_reply(page_html());
  if (relative == std::string(kStatusPath).substr(1)) return json_reply(status());
  return case_file_reply(s_.case_dir, relative);
}

}  // namespace orvanta::viewers
