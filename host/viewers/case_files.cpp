#include "host/viewers/case_files.hpp"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <map>

namespace orvanta::viewers {
namespace fs = std::filesystem;
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when `inner` is `root` or below it, component by component (so /case2 is not
// inside /case).
bool is_within(const fs::path& root, const fs::path& inner) {
  auto r = root.begin();
  auto i = inner.begin();
  for (; r != root.end(); ++r, ++i) {
    if (r->empty()) continue;  // trailing separator of the root
    if (i == inner.end() || *r != *i) return false;
  }
  return true;
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

std::optional<fs::path> confined_file(const fs::path& root, const std::string& relative) {
  std::error_code ec;
  const fs::path real_root = fs::canonical(root, ec);
  if (ec || relative.empty()) return std::nullopt;
  fs::path candidate = fs::path(relative);
  if (candidate.is_relative()) {
    const auto normal = normalise_request_path(relative);
    if (!normal || normal->empty()) return std::nullopt;
    candidate = real_root / *normal;
  }
  const fs::path real = fs::canonical(candidate, ec);
  if (ec || !is_within(real_root, real) || !fs::is_regular_file(real, ec)) return std::nullopt;
  return real;
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
  const auto file = confined_file(root, relative);
  struct stat st {};
  if (!file || stat(file->c_str(), &st) != 0) return state;
  state.exists = true;
  state.mtime = static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) * 1e-9;
  state.size = static_cast<unsigned long long>(st.st_size);
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
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto it = types.find(ext);
  return it == types.end() ? "application/octet-stream" : it->second;
}

}  // namespace orvanta::viewers
