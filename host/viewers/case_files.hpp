#pragma once
// The viewers serve files of one case directory to a browser. A request may name any file
// inside it and nothing outside: no "..", no hidden host folders, no symlink that leads out
// (see confined_open.hpp for the opening), no directory listings.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvanta::viewers {

// Undoes %XX escapes. Nothing when an escape is malformed or decodes to a NUL byte.
std::optional<std::string> percent_decode(std::string_view text);

// The path part of a request target, without query string or fragment, still encoded.
std::string target_path(std::string_view target);

// A decoded request path as a relative path with single "/" separators ("/plots//a.png"
// -> "plots/a.png"). Nothing when a component is "..", "." or hidden (starts with a dot),
// or the path holds a backslash or a control character. The empty path stays empty.
std::optional<std::string> normalise_request_path(std::string_view decoded_path);

// A relative path with every byte outside [A-Za-z0-9-._~/] written as %XX, for links.
std::string percent_encode_path(const std::string& relative);

struct FileState {
  bool exists = false;
  double mtime = 0;  // seconds since the epoch, with sub-second part
  unsigned long long size = 0;
};
// State of the regular file that `relative` names inside `root`, as open_confined finds
// it (exists=false when it finds nothing), so a page shows a file exactly when it is served.
FileState file_state(const std::filesystem::path& root, const std::string& relative);

// Content type announced for a served file, from its extension.
std::string content_type_for(const std::filesystem::path& file);
// The same for a file from a case, except that documents a browser would render as a page
// (.html, .htm, ...) are plain text: a file a run wrote must not run scripts in the
// servers' origin.
std::string case_content_type_for(const std::filesystem::path& file);

}  // namespace orvanta::viewers
