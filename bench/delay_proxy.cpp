// bench_delay_proxy: a TCP proxy that delays every byte it forwards, for
// measuring the door against a database server on another machine without
// privileges (a netem queue needs them). Each byte, in either direction, is
// written out DELAY_MS after it arrived, in the order it arrived, so one
// round trip through the proxy costs 2 x DELAY_MS more than without it.
//
//   bench_delay_proxy LISTEN_PORT TARGET_HOST TARGET_PORT DELAY_MS
//
// LISTEN_PORT 0 takes a free port. The proxy listens on 127.0.0.1, prints
// "listening on PORT" on standard output once it accepts connections, and
// serves any number of them at once (two threads a connection: one a
// direction) until it is killed. DELAY_MS may have a fraction (0.5).
// Linux only, like the rest of the benchmark's tooling.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// A socket, closed when the last owner lets go.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

// The two sockets of one proxied connection, shared by its two directions;
// both close when the second direction ends.
struct Pair {
  Socket client;
  Socket server;
  Pair(int clientFd, int serverFd) : client(clientFd), server(serverFd) {}
};

struct Chunk {
  Clock::time_point due;
  std::string bytes;
};

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes out the chunks whose time has come; false when a write failed.
bool WriteDue(std::deque<Chunk>& held, int to) {
  const Clock::time_point now = Clock::now();
  while (!held.empty() && held.front().due <= now) {
    if (!WriteAll(to, held.front().bytes)) return false;
    held.pop_front();
  }
  return true;
}

// How long to wait for more bytes: until the first chunk held is due, or
// for ever (nullptr) when none is.
timespec* TimeToNext(const std::deque<Chunk>& held, timespec& wait) {
  if (held.empty()) return nullptr;
  const auto left =
      std::chrono::duration_cast<std::chrono::nanoseconds>(held.front().due - Clock::now());
  const long long ns = left.count() > 0 ? left.count() : 0;
  wait.tv_sec = static_cast<time_t>(ns / 1000000000);
  wait.tv_nsec = static_cast<long>(ns % 1000000000);
  return &wait;
}

// Forwards one direction of `pair` (the client's bytes to the server when
// `toServer`, else the server's to the client): reads whatever arrives as
// soon as it arrives, stamps it with its time of delivery and writes it out
// when that time comes. At the end of `from` it forwards what it still holds, then
// ends the writing side of `to`; a failed write ends both directions.
// The sockets close when both directions have ended.
void Forward(const std::shared_ptr<const Pair>& pair, bool toServer, Clock::duration delay) {
  const int from = toServer ? pair->client.fd() : pair->server.fd();
  const int to = toServer ? pair->server.fd() : pair->client.fd();
  std::deque<Chunk> held;
  bool open = true;
  char buffer[65536];
  while (open || !held.empty()) {
    if (!WriteDue(held, to)) {
      shutdown(from, SHUT_RDWR);
      shutdown(to, SHUT_RDWR);
      return;
    }
    timespec wait{};
    timespec* timeout = TimeToNext(held, wait);
    pollfd watch{open ? from : -1, POLLIN, 0};
    const int ready = ppoll(&watch, 1, timeout, nullptr);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0 || !open) continue;
    const ssize_t n = recv(from, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      open = false;
      continue;
    }
    held.push_back({Clock::now() + delay, std::string(buffer, static_cast<size_t>(n))});
  }
  shutdown(to, SHUT_WR);
}

int Connect(const char* host, const char* port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, port, &hints, &found) != 0) return -1;
  int fd = -1;
  for (addrinfo* a = found; a; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
    close(fd);
    fd = -1;
  }
  freeaddrinfo(found);
  return fd;
}

// Small writes go out at once: the delay is the proxy's, not Nagle's.
void NoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int Listen(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 128) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: bench_delay_proxy LISTEN_PORT TARGET_HOST TARGET_PORT DELAY_MS\n";
    return 2;
  }
  char* end = nullptr;
  const double delayMs = std::strtod(argv[4], &end);
  if (*end != '\0' || delayMs < 0) {
    std::cerr << "bench_delay_proxy: DELAY_MS must be a number of milliseconds, not " << argv[4]
              << "\n";
    return 2;
  }
  const auto delay = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(delayMs));
  signal(SIGPIPE, SIG_IGN);
  const Socket listener(Listen(std::atoi(argv[1])));
  if (listener.fd() < 0) {
    std::cerr << "bench_delay_proxy: cannot listen on 127.0.0.1:" << argv[1] << ": "
              << std::strerror(errno) << "\n";
    return 1;
  }
  std::cout << "listening on " << BoundPort(listener.fd()) << std::endl;
  while (true) {
    const int client = accept(listener.fd(), nullptr, nullptr);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      std::cerr << "bench_delay_proxy: accept: " << std::strerror(errno) << "\n";
      return 1;
    }
    const int server = Connect(argv[2], argv[3]);
    if (server < 0) {
      std::cerr << "bench_delay_proxy: cannot connect to " << argv[2] << ":" << argv[3] << "\n";
      close(client);
      continue;
    }
    NoDelay(client);
    NoDelay(server);
    auto pair = std::make_shared<const Pair>(client, server);
    std::thread(Forward, pair, true, delay).detach();
    std::thread(Forward, pair, false, delay).detach();
  }
}
