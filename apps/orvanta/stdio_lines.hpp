#pragma once
// Line framing of the stdio transport on raw file descriptors. The reader never holds more
// than its limit of one line; the writer puts each message out whole, once, with one
// write per message under one lock, so lines from different threads never interleave.

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>

namespace orvanta::app {

class LineReader {
 public:
  LineReader(int fd, std::size_t max_line_bytes) : fd_(fd), max_(max_line_bytes) {}

  struct Line {
    std::string text;        // without the newline; empty when too_long
    bool too_long = false;   // the line passed the limit and was discarded
  };
  // The next line, or nothing at end of input. A last line without a newline counts.
  std::optional<Line> next();

 private:
  bool fill();

  int fd_;
  std::size_t max_;
  std::string buffer_;
  std::size_t start_ = 0;
  bool eof_ = false;
};

class LineWriter {
 public:
  explicit LineWriter(int fd) : fd_(fd) {}
  // Writes `line` and a newline. False once the reader has gone (the pipe is closed);
  // later calls then write nothing.
  bool write_line(const std::string& line);

 private:
  int fd_;
  bool broken_ = false;
  std::mutex mutex_;
};

}  // namespace orvanta::app
