#include "host/base/json_file.hpp"

#include "host/base/errors.hpp"
#include "host/base/json_depth.hpp"
#include "host/base/paths.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

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
  const std::string text = drop_invalid_utf8(read_text_file(path));
  // Case files can be edited by anyone: a document nested too deep would overflow the stack
  // later, when it is copied or printed.
  if (!json_nesting_within(text))
    throw FormatError(path + " nests deeper than " + std::to_string(kMaxJsonNesting) + " levels.");
  Json value;
  try {
    value = Json::parse(text);
  } catch (const Json::exception& e) {  // number overflow (1e999) is not a parse_error
    throw FormatError(path + " is not valid JSON: " + e.what());
  }
  if (!value.is_object()) throw FormatError(path + " does not hold a JSON object.");
  return value;
}

namespace {

// A temporary file of its own beside `target`: pid and a process-wide counter keep
// concurrent writers (threads or processes) apart; O_EXCL refuses a leftover of a dead one.
int create_temporary(const std::filesystem::path& target, std::string& tmp) {
  static std::atomic<unsigned long> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmp = (target.parent_path() / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                                   std::to_string(counter.fetch_add(1)) + ".tmp"))
              .string();
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The folder's entry is made durable too, so the renamed file survives a crash.
void sync_directory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // nothing to sync through; the rename itself has happened
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void write_json_file_atomic(const std::string& path, const Json& value, int indent) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  const std::string text = value.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
  std::string tmp;
  const int fd = create_temporary(target, tmp);
  if (fd < 0) throw OSError("Cannot create a temporary file for " + path + ": " + std::strerror(errno));
  const bool written = write_all(fd, text) && ::fsync(fd) == 0;
  const int write_errno = errno;
  if (::close(fd) != 0 || !written) {
    ::unlink(tmp.c_str());
    throw OSError("Cannot write " + tmp + ": " + std::strerror(written ? errno : write_errno));
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int rename_errno = errno;
    ::unlink(tmp.c_str());
    throw OSError("Cannot rename " + tmp + " to " + path + ": " + std::strerror(rename_errno));
  }
  sync_directory(target.parent_path());
}

}  // namespace orvanta
