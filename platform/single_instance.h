// The single-instance lock and the registered quit message with its
// broadcast, shared by every copy of the downloader.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// A named lock shared by all processes of the user, held until the process ends.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // Takes the lock of that name. Returns false when another live process
  // already holds it. A lock left by a process that died is free again.
  virtual bool Acquire(const std::string& name) = 0;
};

// A message received from the broadcast channel.
struct BroadcastMessage {
  uint32_t id = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
};

// Stops delivery when destroyed.
class BroadcastListener {
 public:
  virtual ~BroadcastListener() = default;
};

// Registered messages: every process that registers the same name gets the
// same non-zero id, and a broadcast reaches every process listening on it.
class MessageBus {
 public:
  virtual ~MessageBus() = default;
  // Returns the id of the named message, 0 when it cannot be registered.
  virtual uint32_t Register(const std::string& name) = 0;
  // Posts the message to every listener of a registered id; does not wait.
  virtual void Broadcast(uint32_t id, uint64_t wParam, int64_t lParam) = 0;
  // Delivers every message posted to `id` to `handler`, on a thread of its
  // own, for as long as the returned object lives. Null when the id is not
  // registered or no listening endpoint can be made.
  virtual std::unique_ptr<BroadcastListener> Listen(
      uint32_t id, std::function<void(const BroadcastMessage&)> handler) = 0;
};

}  // namespace platform
