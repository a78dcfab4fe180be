#include "host/viewers/confined_open.hpp"

#include "host/viewers/case_files.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <optional>
#include <vector>

namespace orvanta::viewers {
namespace fs = std::filesystem;
namespace {

// Linux's own limit on symlinks followed in one lookup.
constexpr int kMaxSymlinks = 40;
// O_NONBLOCK: opening a FIFO someone left in the case must not wait for a writer.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) close(fd_);
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

int fail(int error) {
  errno = error;
  return -1;
}

std::deque<std::string> components(const std::string& path) {
  std::deque<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    if (end > start) out.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::optional<std::string> read_link(int link_fd) {
  std::string target(4096, '\0');
  const ssize_t n = readlinkat(link_fd, "", target.data(), target.size());
  if (n < 0 || static_cast<size_t>(n) >= target.size()) return std::nullopt;
  target.resize(static_cast<size_t>(n));
  return target;
}

// `path` below `base` as a relative path, or nothing when it is not below it.
std::optional<std::string> below(const fs::path& path, const fs::path& base) {
  const fs::path rel = path.lexically_normal().lexically_relative(base.lexically_normal());
  if (rel.empty() || rel == "." || *rel.begin() == "..") return std::nullopt;
  return rel.string();
}

// Puts a symlink's target in front of what is left to walk. An absolute target restarts
// at the root when it names a place inside it; anything else outside ends the walk.
bool follow(const std::string& target, const fs::path& real_root, std::vector<Fd>& dirs,
            std::deque<std::string>& todo) {
  std::deque<std::string> head;
  if (!target.empty() && target[0] == '/') {
    const auto inside = below(target, real_root);
    if (!inside) return false;
    dirs.resize(1);
    head = components(*inside);
  } else {
    head = components(target);
  }
  todo.insert(todo.begin(), head.begin(), head.end());
  return true;
}

// The request path relative to the root; an absolute one only when it lies inside.
std::optional<std::string> relative_inside(const fs::path& root, const fs::path& real_root,
                                           const std::string& relative) {
  if (relative.empty()) return std::nullopt;
  std::optional<std::string> rel = relative;
  if (relative[0] == '/') {
    rel = below(relative, real_root);
    if (!rel) rel = below(relative, fs::absolute(root));
    if (!rel) return std::nullopt;
  }
  const auto normal = normalise_request_path(*rel);
  if (!normal || normal->empty()) return std::nullopt;
  return normal;
}

}  // namespace

OpenFile::~OpenFile() { close(fd_); }

double OpenFile::mtime() const {
  return static_cast<double>(st_.st_mtim.tv_sec) + static_cast<double>(st_.st_mtim.tv_nsec) * 1e-9;
}

namespace internal {

int open_beneath_kernel(int root_fd, const std::string& relative) {
  open_how how{};
  how.flags = kReadFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(syscall(SYS_openat2, root_fd, relative.c_str(), &how, sizeof how));
}

int open_beneath_walk(int root_fd, const fs::path& real_root, const std::string& relative) {
  std::vector<Fd> dirs;  // the directories walked through, the root first
  dirs.emplace_back(fcntl(root_fd, F_DUPFD_CLOEXEC, 0));
  if (dirs.back().get() < 0) return -1;
  std::deque<std::string> todo = components(relative);
  int links = 0;
  while (!todo.empty()) {
    const std::string name = todo.front();
    todo.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      if (dirs.size() == 1) return fail(EXDEV);
      dirs.pop_back();
      continue;
    }
    Fd node(openat(dirs.back().get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (node.get() < 0 || fstat(node.get(), &st) != 0) return -1;
    if (S_ISLNK(st.st_mode)) {
      if (++links > kMaxSymlinks) return fail(ELOOP);
      const auto target = read_link(node.get());
      if (!target) return -1;
      if (!follow(*target, real_root, dirs, todo)) return fail(EXDEV);
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      dirs.push_back(std::move(node));
      continue;
    }
    if (!todo.empty()) return fail(ENOTDIR);
    // Swapped for a symlink since the look above: O_NOFOLLOW refuses it.
    return openat(dirs.back().get(), name.c_str(), kReadFlags | O_NOFOLLOW);
  }
  return fail(EISDIR);
}

}  // namespace internal

std::shared_ptr<const OpenFile> open_confined(const fs::path& root, const std::string& relative) {
  std::error_code ec;
  const fs::path real_root = fs::canonical(root, ec);
  if (ec) return nullptr;
  const auto rel = relative_inside(root, real_root, relative);
  if (!rel) return nullptr;
  const Fd root_fd(open(real_root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (root_fd.get() < 0) return nullptr;
  Fd fd(internal::open_beneath_kernel(root_fd.get(), *rel));
  // The walk serves kernels without openat2 (ENOSYS; EPERM where a container's syscall
  // filter refuses what it does not know) and absolute symlinks that stay inside (EXDEV).
  if (fd.get() < 0 && (errno == ENOSYS || errno == EPERM || errno == EXDEV))
    fd = Fd(internal::open_beneath_walk(root_fd.get(), real_root, *rel));
  struct stat st {};
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  return std::make_shared<const OpenFile>(fd.release(), st);
}

}  // namespace orvanta::viewers
