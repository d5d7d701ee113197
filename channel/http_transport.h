// The one network seam of the downloader: a GET whose reply goes to a
// receiver as it arrives, with the downloader's fixed settings (no cache,
// lenient certificates, HTTP/1.1) and bounds on every wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How long a transfer may take. Each bound ends it as timed out.
struct HttpLimits {
  int connectMs = 3000;  // connection set up (TCP and TLS) within this time
  int stallMs = 3000;    // no byte of the reply for this long
  int overallMs = 0;     // the whole exchange, from start to last byte; 0: unbounded
  // The reply must bring at least minBytesPerWindow bytes in each full window
  // of rateWindowMs after the first byte; 0: no floor.
  uint64_t minBytesPerWindow = 0;
  int rateWindowMs = 60000;
};

struct HttpRequest {
  std::string url;
  std::vector<std::string> headers;  // "Name: value", in this order
  std::string userAgent;
  HttpLimits limits;
  // The reply must carry one well-formed Content-Length (or several equal
  // ones), and a body longer than it is an error; the connection is asked
  // to close after the reply, so the real end of the body is seen.
  bool strictLength = false;
};

// Receives one reply. Returning false from either call aborts the transfer.
class HttpReceiver {
 public:
  virtual ~HttpReceiver() = default;
  // Called once, before the first body byte (or at the end for an empty
  // body): status - the HTTP status code; length - the announced body length,
  // -1 when none was announced.
  virtual bool OnResponse(long status, int64_t length) = 0;
  // A piece of the body: data - its bytes; size - their number (never 0).
  virtual bool OnBody(const char* data, size_t size) = 0;
};

enum class HttpResult {
  Done = 0,      // the reply arrived (whatever its status)
  Failed = 1,    // refused, broken, malformed, or aborted by the receiver
  TimedOut = 2,  // one of the limits was reached
};

// One GET of request.url. On a failure *error says why, with the library's
// or the system's text.
HttpResult HttpTransfer(const HttpRequest& request, HttpReceiver& receiver, std::string* error);

// True when the URL's scheme is http or https (compared without case).
bool IsHttpUrl(const std::string& url);
// The URL with every byte a URL may not hold raw (blank, control bytes,
// bytes of 0x80 and above) percent-encoded; every other byte as it is.
std::string EncodeUrlBytes(const std::string& url);
// Loads and sets up the HTTP library once per process (safe to call from any
// thread); false, with the reason in *error, when it cannot be loaded. Every
// transfer does this itself; call it to learn early whether it will work.
bool InitHttpLibrary(std::string* error = nullptr);
// Loads soname as the HTTP library, binds every function the transfers use
// and sets it up: false, with the reason in *error, when one of those fails.
// Tells whether a library could serve; the transfers use libcurl.so.4.
bool CanLoadHttpLibrary(const char* soname, std::string* error);
