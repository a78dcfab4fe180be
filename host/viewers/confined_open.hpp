#pragma once
// Files of a case are opened relative to a descriptor of the case directory, one lookup
// that cannot leave it, and are then served from that descriptor. A path check followed by
// an open by name would serve whatever a symlink swapped in between points to.

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

namespace orvanta::viewers {

// A regular file held open for reading; closed when the last owner lets go.
class OpenFile {
 public:
  OpenFile(int fd, const struct stat& st) : fd_(fd), st_(st) {}  // takes the descriptor
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  int fd() const { return fd_; }
  unsigned long long size() const { return static_cast<unsigned long long>(st_.st_size); }
  double mtime() const;  // seconds since the epoch, with sub-second part

 private:
  int fd_;
  struct stat st_;
};

// The regular file that `relative` names under `root`, open, or null when the name leaves
// `root` (a ".." above it, a symlink whose target lies outside), does not exist, or names
// anything but a regular file (directory, FIFO, device). Symlinks that stay inside work;
// an absolute one counts when it names a place inside `root`, as does an absolute
// `relative`. Components are checked as for request paths (no dot names).
std::shared_ptr<const OpenFile> open_confined(const std::filesystem::path& root, const std::string& relative);

namespace internal {
// The two lookups behind open_confined, each returning a descriptor or -1 with errno set.
// The kernel's: openat2 with RESOLVE_BENEATH (ENOSYS before Linux 5.6; EXDEV for any
// absolute symlink, even one that stays inside).
int open_beneath_kernel(int root_fd, const std::string& relative);
// One O_NOFOLLOW open per component, resolving symlinks by hand inside `real_root`, the
// canonical path of the directory that `root_fd` holds.
int open_beneath_walk(int root_fd, const std::filesystem::path& real_root, const std::string& relative);
}  // namespace internal

}  // namespace orvanta::viewers
