#include "vsp/internal/atomic_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta::vsp::internal {

void write_atomically(const std::string& path, const std::function<bool(std::FILE*)>& write) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string tmpl = (dir / ("." + target.filename().string() + ".tmp.XXXXXX")).string();
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) throw std::runtime_error("cannot create a file in " + dir.string() + ": " + std::strerror(errno));
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) {
    const int err = errno;
    ::close(fd);
    ::unlink(tmpl.c_str());
    throw std::runtime_error("cannot write " + tmpl + ": " + std::strerror(err));
  }
  bool ok = write(f);
  ok = std::fflush(f) == 0 && ok;
  const int err = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    ::unlink(tmpl.c_str());
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(err ? err : EIO));
  }
  // mkstemp creates the file private to its owner; give it the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(tmpl.c_str(), 0666 & ~mask);
  if (std::rename(tmpl.c_str(), path.c_str()) != 0) {
    const int rerr = errno;
    ::unlink(tmpl.c_str());
    throw std::runtime_error("cannot replace " + path + ": " + std::strerror(rerr));
  }
}

}  // namespace orvanta::vsp::internal
