// The named pipe of the assistant's pop-up companion and the global named
// events it answers through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The writing end of a named pipe.
class PipeWriter {
 public:
  virtual ~PipeWriter() = default;
  // One write of the bytes; the number written (fewer on a full pipe), -1 on error.
  virtual long long Write(const void* data, size_t size) = 0;
};

// The reading end of a named pipe, held by its server.
class PipeReader {
 public:
  virtual ~PipeReader() = default;
  // Bytes of the next message into data, 0 when none came within timeoutMs,
  // -1 on error.
  virtual long long Read(void* data, size_t size, int timeoutMs) = 0;
};

// An auto-reset event that any process of any user may open and signal.
class NamedEvent {
 public:
  virtual ~NamedEvent() = default;
  virtual bool Signal() = 0;
};

class Ipc {
 public:
  virtual ~Ipc() = default;
  // Opens an existing pipe ("\\.\pipe\" + name) for writing, never waiting;
  // null when there is no such pipe or nobody reads it.
  virtual std::unique_ptr<PipeWriter> OpenPipe(const std::string& pipeName) = 0;
  // Creates the pipe (or takes it over) and reads it.
  virtual std::unique_ptr<PipeReader> ServePipe(const std::string& pipeName) = 0;
  // Creates the event of that name ("Global\..."), or opens it when it
  // exists; a new one is not signalled. Null when it cannot be had.
  virtual std::unique_ptr<NamedEvent> CreateEvent(const std::string& name) = 0;
  // Waits for the first of the events to be signalled, taking that signal:
  // its index, or -1 on time-out or failure.
  virtual int WaitForAny(const std::vector<NamedEvent*>& events, uint32_t timeoutMs) = 0;
};

}  // namespace platform
