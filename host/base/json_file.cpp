#include "host/base/json_file.hpp"

#include "host/base/errors.hpp"
#include "host/base/paths.hpp"

#include <filesystem>
#include <fstream>

namespace orvanta {

std::string drop_invalid_utf8(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool ok = len > 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(s[i + k]) >> 6) == 0x2;
    if (ok && len == 2) ok = c >= 0xC2;  // no overlong forms
    if (ok && len == 3) {
      const auto c1 = static_cast<unsigned char>(s[i + 1]);
      ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);  // overlong, surrogates
    }
    if (ok && len == 4) {
      const auto c1 = static_cast<unsigned char>(s[i + 1]);
      ok = c <= 0xF4 && !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
    }
    if (ok) {
      out.append(s, i, len);
      i += len;
    } else {
      ++i;
    }
  }
  return out;
}

Json read_json_object_file(const std::string& path) {
  Json value;
  try {
    value = Json::parse(drop_invalid_utf8(read_text_file(path)));
  } catch (const Json::parse_error& e) {
    throw FormatError(path + " is not valid JSON: " + e.what());
  }
  if (!value.is_object()) throw FormatError(path + " does not hold a JSON object.");
  return value;
}

void write_json_file_atomic(const std::string& path, const Json& value, int indent) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  const fs::path tmp = target.parent_path() / ("." + target.filename().string() + ".tmp");
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f) throw OSError("Cannot write " + tmp.string());
    f << value.dump(indent, ' ', false, Json::error_handler_t::replace) << "\n";
    if (!f) throw OSError("Cannot write " + tmp.string());
  }
  fs::rename(tmp, target);
}

}  // namespace orvanta
