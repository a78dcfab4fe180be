#pragma once
// What a viewer server answers, independent of the HTTP library, so the routing of both
// servers is plain functions that tests call with request targets.

#include "host/base/values.hpp"
#include "host/viewers/confined_open.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace orvanta::viewers {

struct HttpReply {
  int status = 200;
  std::string content_type = "text/plain; charset=utf-8";
  std::string body;
  std::shared_ptr<const OpenFile> file;  // when set, the body is this file's content
  std::string location;        // redirect target
  bool no_store = false;       // pages and status answers change; never cache them
};

// Path of the status endpoint that the host probes and the pages poll.
inline constexpr const char* kStatusPath = "/__orvanta/status";
// Prefix under which the front end's files (web/static, web/dist) are served.
inline constexpr const char* kStaticPrefix = "/__orvanta/static/";

HttpReply text_reply(int status, const std::string& text);
HttpReply json_reply(const Json& value);
HttpReply html_reply(const std::string& html);
HttpReply redirect_reply(const std::string& location);
HttpReply not_found_reply();

// The decoded, normalised path of a request target ("/plots/a%20b.png?v=1" -> "plots/a b.png"),
// or nothing when the target is malformed or tries to leave its root.
std::optional<std::string> request_relative_path(const std::string& target);

// A front-end file for a path below kStaticPrefix (already stripped of it): looked up in
// web/static, then web/dist; 404 when in neither.
HttpReply static_asset_reply(const std::string& relative);

// A regular file inside the case directory, already open; 404 for anything else,
// directories included. Pages a run wrote are announced as text (case_content_type_for).
HttpReply case_file_reply(const std::filesystem::path& case_dir, const std::string& relative);

// True for a Host header naming this machine's loopback (127.0.0.1, localhost, [::1]),
// any port. Other names are refused, so a web page cannot reach the servers through a
// name it controls that resolves to 127.0.0.1 (DNS rebinding). An absent header is allowed.
bool is_loopback_host_header(const std::string& host);

// Shared front of both servers: bad targets (400), the static prefix, favicon. Returns
// nothing when the request is for the server's own routes.
std::optional<HttpReply> common_reply(const std::string& target, std::string& relative);

}  // namespace orvanta::viewers
