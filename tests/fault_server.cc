#include "tests/fault_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

FaultServer::FaultServer(Handler handler) : handler_(std::move(handler)) {
  listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(listen_, 16);
  socklen_t len = sizeof addr;
  getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  wake_ = eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this] { Run(); });
}

FaultServer::~FaultServer() {
  stopping_ = true;
  uint64_t one = 1;
  (void)!write(wake_, &one, sizeof one);
  thread_.join();
  for (auto& w : workers_) w.join();
  close(listen_);
  close(wake_);
}

std::vector<std::string> FaultServer::heads() {
  std::lock_guard<std::mutex> lock(mutex_);
  return heads_;
}

void FaultServer::Send(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void FaultServer::Stall() {
  while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

std::string FaultServer::Response(int status, const std::string& body, bool withLength) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " X\r\nConnection: close\r\n";
  if (withLength) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return head + "\r\n" + body;
}

void FaultServer::Run() {
  while (!stopping_) {
    pollfd fds[2] = {{listen_, POLLIN, 0}, {wake_, POLLIN, 0}};
    if (poll(fds, 2, -1) <= 0 || fds[1].revents) break;
    int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    workers_.emplace_back([this, fd] {
      std::string head;
      char buf[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) break;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        heads_.push_back(head);
      }
      ++requests_;
      handler_(fd, head);
      shutdown(fd, SHUT_RDWR);
      close(fd);
    });
  }
}
