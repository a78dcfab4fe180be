#include "apps/orvanta/viewer_http_server.hpp"

#include "host/viewers/confined_open.hpp"

#include <httplib.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace orvanta::app {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t kFileChunk = 64 * 1024;

std::string timestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  return buf;
}

// One write per line: workers log at the same time.
void log_line(std::ostream& out, const std::string& what, const std::string& text) {
  out << (timestamp() + " orvanta " + what + ": " + text + "\n") << std::flush;
}

// Polls `sock` for `events` until `until`; false on timeout, error or a passed deadline.
bool wait_for(int sock, short events, Clock::time_point until) {
  for (;;) {
    const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{sock, events, 0};
    const int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    return r > 0 && (p.revents & (events | POLLHUP)) != 0;
  }
}

void socket_address(int sock, bool peer, std::string& ip, int& port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  auto* sa = reinterpret_cast<sockaddr*>(&addr);
  if ((peer ? getpeername(sock, sa, &len) : getsockname(sock, sa, &len)) != 0) return;
  char host[NI_MAXHOST];
  char serv[NI_MAXSERV];
  if (getnameinfo(sa, len, host, sizeof host, serv, sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV) != 0) return;
  ip = host;
  port = std::atoi(serv);
}

// One request's reads share a deadline that starts with its first byte.
class DeadlineStream final : public httplib::Stream {
 public:
  DeadlineStream(int sock, milliseconds write_timeout) : sock_(sock), write_timeout_(write_timeout) {}

  // Waits up to `idle` for the next request to begin.
  bool begin_request(milliseconds idle, milliseconds deadline) {
    if (!wait_for(sock_, POLLIN, Clock::now() + idle)) return false;
    deadline_ = Clock::now() + deadline;
    return true;
  }

  bool is_readable() const override { return wait_for(sock_, POLLIN, deadline_); }
  bool is_writable() const override { return wait_for(sock_, POLLOUT, Clock::now() + write_timeout_); }

  ssize_t read(char* ptr, size_t size) override {
    if (offset_ == filled_) {
      if (!is_readable()) return -1;
      ssize_t n;
      do n = recv(sock_, buffer_.data(), buffer_.size(), 0);
      while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      offset_ = 0;
      filled_ = static_cast<size_t>(n);
    }
    const size_t n = std::min(size, filled_ - offset_);
    std::memcpy(ptr, buffer_.data() + offset_, n);
    offset_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    ssize_t n;
    do n = send(sock_, ptr, size, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { socket_address(sock_, true, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { socket_address(sock_, false, ip, port); }
  socket_t socket() const override { return sock_; }

 private:
  int sock_;
  milliseconds write_timeout_;
  Clock::time_point deadline_ = Clock::now();
  std::array<char, 4096> buffer_{};
  size_t offset_ = 0;
  size_t filled_ = 0;
};

// Set on the accepting thread while it turns a connection away itself.
thread_local bool t_refusing = false;

// A fixed set of worker threads, one connection each; a connection that finds them all
// taken is refused on the spot instead of queueing behind clients that may never finish.
class ConnectionPool final : public httplib::TaskQueue {
 public:
  ConnectionPool(size_t workers, std::function<void()> wake_all) : wake_all_(std::move(wake_all)) {
    for (size_t i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
  }

  void enqueue(std::function<void()> fn) override {
    {
      std::lock_guard lock(mutex_);
      if (taken_ < threads_.size()) {
        ++taken_;
        jobs_.push_back(std::move(fn));
        ready_.notify_one();
        return;
      }
    }
    t_refusing = true;
    fn();
    t_refusing = false;
  }

  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_all_();
    ready_.notify_all();
    for (auto& t : threads_) t.join();
  }

 private:
  void work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // queued connections are closed before the workers end
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
      std::lock_guard lock(mutex_);
      --taken_;
    }
  }

  std::function<void()> wake_all_;
  std::vector<std::thread> threads_;
  std::deque<std::function<void()>> jobs_;
  size_t taken_ = 0;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable ready_;
};

class GuardedServer final : public httplib::Server {
 public:
  GuardedServer(const ViewerServerLimits& limits, std::string what) : limits_(limits), what_(std::move(what)) {
    new_task_queue = [this] { return new ConnectionPool(limits_.connections, [this] { wake_connections(); }); };
  }

  // The library listens with a backlog of 5; listen() again on the bound socket raises it.
  bool bind_loopback(int port) {
    return bind_to_port("127.0.0.1", port) && ::listen(svr_sock_, limits_.listen_backlog) == 0;
  }

 private:
  bool process_and_close_socket(socket_t sock) override {
    if (t_refusing) {
      refuse(sock);
      return false;
    }
    track(sock, true);
    bool ok = true;
    const milliseconds write_timeout(write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000);
    for (size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
      DeadlineStream stream(sock, write_timeout);
      if (!stream.begin_request(limits_.idle_timeout, limits_.request_deadline)) break;
      bool closed = false;
      ok = process_request(stream, left == 1, closed, nullptr);
      if (!ok || closed) break;
    }
    track(sock, false);
    ::shutdown(sock, SHUT_RDWR);
    close(sock);
    return ok;
  }

  void refuse(socket_t sock) {
    static const std::string reply =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Length: 22\r\nConnection: close\r\nRetry-After: 1\r\n\r\nToo many connections.\n";
    (void)send(sock, reply.data(), reply.size(), MSG_DONTWAIT | MSG_NOSIGNAL);  // best effort: never wait
    ::shutdown(sock, SHUT_RDWR);
    close(sock);
    // One note per 10 s at most: a flood of connections must not flood the case's log too.
    const auto now = Clock::now();
    ++refused_;
    if (refused_ > 1 && now - last_refusal_note_ < std::chrono::seconds(10)) return;
    last_refusal_note_ = now;
    log_line(std::cerr, what_,
             "refused a connection, all " + std::to_string(limits_.connections) + " are taken (" +
                 std::to_string(refused_) + " refused so far)");
  }

  void track(socket_t sock, bool open) {
    std::lock_guard lock(open_mutex_);
    if (open)
      open_.insert(sock);
    else
      open_.erase(sock);
  }

  // Ends every connection's wait so that stopping does not wait for slow clients.
  void wake_connections() {
    std::lock_guard lock(open_mutex_);
    for (socket_t s : open_) ::shutdown(s, SHUT_RDWR);
  }

  ViewerServerLimits limits_;
  std::string what_;
  std::mutex open_mutex_;
  std::set<socket_t> open_;
  // Touched only by the accepting thread.
  size_t refused_ = 0;
  Clock::time_point last_refusal_note_{};
};

// pread on the open descriptor: the file is never held in memory whole, and what is sent
// is the file that was checked, whatever its name points to by now.
bool send_chunk(const viewers::OpenFile& file, size_t offset, size_t length, httplib::DataSink& sink) {
  std::array<char, kFileChunk> buf;
  ssize_t n;
  do n = pread(file.fd(), buf.data(), std::min(length, buf.size()), static_cast<off_t>(offset));
  while (n < 0 && errno == EINTR);
  if (n <= 0) return false;  // shrunk below the announced length: the connection is cut
  return sink.write(buf.data(), static_cast<size_t>(n));
}

void send_reply(const viewers::HttpReply& reply, const httplib::Request& req, httplib::Response& res) {
  // The library cuts a ranged answer to the range but keeps the status it is given.
  res.status = reply.status == 200 && !req.ranges.empty() ? 206 : reply.status;
  if (reply.no_store) res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  if (!reply.location.empty()) res.set_header("Location", reply.location);
  if (!reply.file || reply.file->size() == 0) {
    res.set_content(reply.body, reply.content_type);
    return;
  }
  auto file = reply.file;
  res.set_content_provider(
      static_cast<size_t>(file->size()), reply.content_type,
      [file](size_t offset, size_t length, httplib::DataSink& sink) { return send_chunk(*file, offset, length, sink); },
      [file](bool) mutable { file.reset(); });
}

void route(GuardedServer& server, const ViewerHandler& handle, const std::string& what) {
  server.Get(".*", [&handle](const httplib::Request& req, httplib::Response& res) {
    if (!viewers::is_loopback_host_header(req.get_header_value("Host"))) {
      send_reply(viewers::text_reply(403, "This server answers only to 127.0.0.1 and localhost.\n"), req, res);
      return;
    }
    send_reply(handle(req.target), req, res);
  });
  server.set_logger([what](const httplib::Request& req, const httplib::Response& res) {
    // Polling and figure loads are routine; failures are what people look for in the log.
    if (res.status >= 400 && req.path != "/favicon.ico")
      log_line(std::cerr, what, req.method + " " + req.target + " -> " + std::to_string(res.status));
  });
  // Headers and body go out in separate writes: without this, Nagle's algorithm holds the
  // body of every answer on a kept-alive connection until the browser's delayed ACK.
  server.set_tcp_nodelay(true);
  // SO_REUSEADDR, not the library's default SO_REUSEPORT: a second server on a busy port
  // must fail to bind rather than silently share the port with the first.
  server.set_socket_options([](socket_t sock) {
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
}

}  // namespace

int serve_viewer_http(const ViewerHandler& handle, int port, const std::string& what, const std::string& page,
                      const ViewerServerLimits& limits) {
  GuardedServer server(limits, what);
  route(server, handle, what);
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before any thread starts, so all inherit it
  if (!server.bind_loopback(port)) {
    const int error = errno;
    log_line(std::cerr, what, "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(error));
    return 1;
  }
  std::thread stopper([&server, &signals] {
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
  });
  log_line(std::cout, what,
           "serving http://127.0.0.1:" + std::to_string(port) + "/" + page + " (pid " + std::to_string(getpid()) + ")");
  server.listen_after_bind();
  log_line(std::cout, what, "stopped");
  pthread_kill(stopper.native_handle(), SIGUSR1);  // wakes the waiter when we stopped for another reason
  stopper.join();
  return 0;
}

}  // namespace orvanta::app
