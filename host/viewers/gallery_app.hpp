#pragma once
// The figure gallery of one case: one page listing the figures a skill asked for, in its
// order, each shown once it exists; a status answer the page polls; the case's files.

#include "host/viewers/http_reply.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace orvanta::viewers {

struct GallerySettings {
  std::filesystem::path case_dir;
  std::string page;                  // "mesh.html", ...
  std::vector<std::string> figures;  // case-relative
  std::string plot_log;              // case-relative, may be empty
  int port = 0;
};

// A gallery page name is a plain file name ending in ".html"; ValueError otherwise.
void check_page_name(const std::string& page);

class GalleryApp {
 public:
  explicit GalleryApp(GallerySettings settings);

  HttpReply handle(const std::string& target) const;
  Json status() const;
  std::string page_html() const;

 private:
  GallerySettings s_;
};

}  // namespace orvanta::viewers
