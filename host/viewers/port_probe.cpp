#include "host/viewers/port_probe.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace orvanta::viewers {
namespace fs = std::filesystem;
namespace {

using Clock = std::chrono::steady_clock;

class Socket {
 public:
  Socket() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

sockaddr_in loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool wait_for(int fd, short events, Clock::time_point deadline) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int n = poll(&p, 1, remaining_ms(deadline));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

bool connect_with_deadline(const Socket& s, int port, Clock::time_point deadline) {
  const sockaddr_in addr = loopback(port);
  if (connect(s.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return true;
  if (errno != EINPROGRESS || !wait_for(s.fd(), POLLOUT, deadline)) return false;
  int err = 0;
  socklen_t len = sizeof err;
  return getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
}

bool send_all(const Socket& s, const std::string& data, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(s.fd(), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!wait_for(s.fd(), POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Reads until the peer closes (we ask for "Connection: close"), the deadline or 4 MiB.
bool receive_all(const Socket& s, std::string& out, Clock::time_point deadline) {
  char buf[8192];
  while (out.size() < (4u << 20)) {
    const ssize_t n = recv(s.fd(), buf, sizeof buf, 0);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      return true;
    } else if (errno == EAGAIN || errno == EINTR) {
      if (!wait_for(s.fd(), POLLIN, deadline)) return false;
    } else {
      return false;
    }
  }
  return false;
}

HttpAnswer parse_response(const std::string& raw) {
  HttpAnswer a;
  const size_t head_end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.", 0) != 0 || head_end == std::string::npos) return a;
  std::istringstream status_line(raw.substr(0, raw.find("\r\n")));
  std::string version;
  status_line >> version >> a.status;
  a.body = raw.substr(head_end + 4);
  a.answered = a.status > 0;
  return a;
}

// Socket inodes listening on the port, from /proc/net/tcp and tcp6 (state 0A = LISTEN).
std::vector<std::string> listening_inodes(int port) {
  char port_hex[8];
  std::snprintf(port_hex, sizeof port_hex, "%04X", port);
  std::vector<std::string> inodes;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream f(table);
    std::string line;
    std::getline(f, line);  // header
    while (std::getline(f, line)) {
      std::istringstream in(line);
      std::string slot, local, remote, state, queues, timer, retr, uid, timeout, inode;
      in >> slot >> local >> remote >> state >> queues >> timer >> retr >> uid >> timeout >> inode;
      const size_t colon = local.rfind(':');
      if (state == "0A" && colon != std::string::npos && local.substr(colon + 1) == port_hex) inodes.push_back(inode);
    }
  }
  return inodes;
}

}  // namespace

HttpAnswer http_get_local(int port, const std::string& path, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  Socket s;
  if (s.fd() < 0 || !connect_with_deadline(s, port, deadline)) return {};
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nConnection: close\r\nAccept: application/json\r\n\r\n";
  std::string raw;
  if (!send_all(s, request, deadline) || !receive_all(s, raw, deadline)) return {};
  return parse_response(raw);
}

bool port_in_use(int port) {
  Socket s;
  if (s.fd() < 0) return false;
  // SO_REUSEADDR as the servers use it: a closed server's TIME_WAIT leftovers do not count.
  const int one = 1;
  setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const sockaddr_in addr = loopback(port);
  return bind(s.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 && errno == EADDRINUSE;
}

std::optional<PortHolder> find_port_holder(int port) {
  const auto inodes = listening_inodes(port);
  if (inodes.empty()) return std::nullopt;
  std::error_code ec;
  for (const auto& proc : fs::directory_iterator("/proc", ec)) {
    const std::string name = proc.path().filename().string();
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
    std::error_code fd_ec;
    for (const auto& fd : fs::directory_iterator(proc.path() / "fd", fd_ec)) {
      std::error_code link_ec;
      const std::string target = fs::read_symlink(fd.path(), link_ec).string();
      if (link_ec || target.rfind("socket:[", 0) != 0) continue;
      const std::string inode = target.substr(8, target.size() - 9);
      if (std::find(inodes.begin(), inodes.end(), inode) == inodes.end()) continue;
      PortHolder holder;
      holder.pid = std::stol(name);
      std::ifstream comm(proc.path() / "comm");
      std::getline(comm, holder.program);
      return holder;
    }
  }
  return std::nullopt;
}

}  // namespace orvanta::viewers
