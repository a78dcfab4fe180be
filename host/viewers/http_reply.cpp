#include "host/viewers/http_reply.hpp"

#include "host/base/paths.hpp"
#include "host/viewers/case_files.hpp"

#include <cctype>

namespace orvanta::viewers {
namespace fs = std::filesystem;

HttpReply text_reply(int status, const std::string& text) {
  HttpReply r;
  r.status = status;
  r.body = text;
  return r;
}

HttpReply json_reply(const Json& value) {
  HttpReply r;
  r.content_type = "application/json";
  r.body = value.dump();
  r.no_store = true;
  return r;
}

HttpReply html_reply(const std::string& html) {
  HttpReply r;
  r.content_type = "text/html; charset=utf-8";
  r.body = html;
  r.no_store = true;
  return r;
}

HttpReply redirect_reply(const std::string& location) {
  HttpReply r;
  r.status = 302;
  r.location = location;
  return r;
}

HttpReply not_found_reply() { return text_reply(404, "Not found.\n"); }

std::optional<std::string> request_relative_path(const std::string& target) {
  if (target.empty() || target[0] != '/') return std::nullopt;
  const auto decoded = percent_decode(target_path(target));
  if (!decoded) return std::nullopt;
  return normalise_request_path(*decoded);
}

HttpReply static_asset_reply(const std::string& relative) {
  for (const char* folder : {"static", "dist"}) {
    if (auto file = open_confined(web_dir() / folder, relative)) {
      HttpReply r;
      r.content_type = content_type_for(relative);
      r.file = std::move(file);
      return r;
    }
  }
  return not_found_reply();
}

HttpReply case_file_reply(const fs::path& case_dir, const std::string& relative) {
  auto file = open_confined(case_dir, relative);
  if (!file) return not_found_reply();
  HttpReply r;
  r.content_type = case_content_type_for(relative);
  r.file = std::move(file);
  r.no_store = true;  // figures and surfaces are rewritten in place by later phases
  return r;
}

bool is_loopback_host_header(const std::string& host) {
  if (host.empty()) return true;
  std::string name = host;
  if (name.front() == '[') {
    const size_t close = name.find(']');
    if (close == std::string::npos) return false;
    name = name.substr(0, close + 1);
  } else if (const size_t colon = name.rfind(':'); colon != std::string::npos) {
    name = name.substr(0, colon);
  }
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "127.0.0.1" || name == "localhost" || name == "[::1]";
}

std::optional<HttpReply> common_reply(const std::string& target, std::string& relative) {
  const auto path = request_relative_path(target);
  if (!path) return text_reply(400, "Bad request path.\n");
  relative = *path;
  const std::string prefix = std::string(kStaticPrefix).substr(1);
  if (relative.rfind(prefix, 0) == 0) return static_asset_reply(relative.substr(prefix.size()));
  if (relative == "favicon.ico") return text_reply(204, "");
  return std::nullopt;
}

}  // namespace orvanta::viewers
