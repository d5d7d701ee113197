// A small HTTP server on loopback whose answers the test scripts byte by
// byte: stalls, cut connections, missing lengths, odd bodies.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FaultServer {
 public:
  // Called for each request with the connected socket and the request head
  // (request line and headers). It writes whatever answer it likes.
  using Handler = std::function<void(int fd, const std::string& head)>;

  explicit FaultServer(Handler handler);
  ~FaultServer();

  int port() const { return port_; }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int requestCount() const { return requests_.load(); }
  std::vector<std::string> heads();

  // Helpers for handlers.
  static void Send(int fd, const std::string& bytes);
  // Holds the connection open without answering until the server stops.
  void Stall();
  static std::string Response(int status, const std::string& body, bool withLength = true);

 private:
  void Run();
  Handler handler_;
  int listen_ = -1;
  int wake_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  std::mutex mutex_;
  std::vector<std::string> heads_;
  std::vector<std::thread> workers_;
  std::thread thread_;
};
