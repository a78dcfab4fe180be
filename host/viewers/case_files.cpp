#include "host/viewers/case_files.hpp"

#include "host/viewers/confined_open.hpp"

#include <cctype>
#include <cstdio>
#include <map>
#include <set>

namespace orvanta::viewers {
namespace fs = std::filesystem;
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string lower_extension(const fs::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

std::optional<std::string> percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] != '%') {
      out += text[k];
      continue;
    }
    if (k + 2 >= text.size()) return std::nullopt;
    const int hi = hex_value(text[k + 1]);
    const int lo = hex_value(text[k + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    const char c = static_cast<char>(hi * 16 + lo);
    if (c == '\0') return std::nullopt;
    out += c;
    k += 2;
  }
  return out;
}

std::string target_path(std::string_view target) {
  const size_t end = target.find_first_of("?#");
  return std::string(target.substr(0, end));
}

std::optional<std::string> normalise_request_path(std::string_view decoded_path) {
  std::string out;
  std::string component;
  auto flush = [&]() -> bool {
    if (component.empty()) return true;
    if (component[0] == '.') return false;  // "..", "." and hidden folders such as .orvanta
    out += (out.empty() ? "" : "/") + component;
    component.clear();
    return true;
  };
  for (char c : decoded_path) {
    if (c == '\\' || std::iscntrl(static_cast<unsigned char>(c))) return std::nullopt;
    if (c == '/') {
      if (!flush()) return std::nullopt;
    } else {
      component += c;
    }
  }
  if (!flush()) return std::nullopt;
  return out;
}

std::string percent_encode_path(const std::string& relative) {
  std::string out;
  for (unsigned char c : relative) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

FileState file_state(const fs::path& root, const std::string& relative) {
  FileState state;
  const auto file = open_confined(root, relative);
  if (!file) return state;
  state.exists = true;
  state.mtime = file->mtime();
  state.size = file->size();
  return state;
}

std::string content_type_for(const fs::path& file) {
  static const std::map<std::string, std::string> types = {
      {".png", "image/png"},          {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},        {".svg", "image/svg+xml"},
      {".gif", "image/gif"},          {".html", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".json", "application/json"},  {".txt", "text/plain; charset=utf-8"},
      {".log", "text/plain; charset=utf-8"},
      {".dat", "text/plain; charset=utf-8"},
      {".vtp", "application/octet-stream"},
      {".map", "application/json"}};
  const auto it = types.find(lower_extension(file));
  return it == types.end() ? "application/octet-stream" : it->second;
}

std::string case_content_type_for(const fs::path& file) {
  static const std::set<std::string> pages = {".html", ".htm", ".xhtml", ".xht", ".shtml"};
  if (pages.count(lower_extension(file))) return "text/plain; charset=utf-8";
  return content_type_for(file);
}

}  // namespace orvanta::viewers
