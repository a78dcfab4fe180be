#include "apps/orvanta/stdio_lines.hpp"

#include <unistd.h>

#include <cerrno>

namespace orvanta::app {
namespace {
constexpr std::size_t kChunk = 1 << 16;
}

bool LineReader::fill() {
  if (eof_) return false;
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const std::size_t old = buffer_.size();
  buffer_.resize(old + kChunk);
  ssize_t n;
  do {
    n = ::read(fd_, buffer_.data() + old, kChunk);
  } while (n < 0 && errno == EINTR);
  buffer_.resize(old + static_cast<std::size_t>(n > 0 ? n : 0));
  if (n <= 0) eof_ = true;
  return n > 0;
}

std::optional<LineReader::Line> LineReader::next() {
  bool discarding = false;  // inside an overlong line: its bytes are dropped as they come
  for (;;) {
    const std::size_t newline = buffer_.find('\n', start_);
    if (newline != std::string::npos) {
      Line line;
      if (discarding || newline - start_ > max_) line.too_long = true;
      else line.text.assign(buffer_, start_, newline - start_);
      start_ = newline + 1;
      return line;
    }
    if (buffer_.size() - start_ > max_) {
      discarding = true;
      buffer_.clear();
      start_ = 0;
    }
    if (!fill()) {
      if (buffer_.size() == start_ && !discarding) return std::nullopt;
      Line line;
      if (discarding) line.too_long = true;
      else line.text.assign(buffer_, start_, std::string::npos);
      buffer_.clear();
      start_ = 0;
      return line;
    }
  }
}

bool LineWriter::write_line(const std::string& line) {
  std::string out;
  out.reserve(line.size() + 1);
  out += line;
  out += '\n';
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t done = 0;
  while (!broken_ && done < out.size()) {
    const ssize_t n = ::write(fd_, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) broken_ = true;
    else done += static_cast<std::size_t>(n);
  }
  return !broken_;
}

}  // namespace orvanta::app
