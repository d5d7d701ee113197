#include "channel/http_client.h"

#include <cstring>

#include "channel/http_transport.h"
#include "platform/platform.h"

namespace {

// Collects the reply body in memory, up to kMaxReply bytes.
class MemoryReceiver : public HttpReceiver {
 public:
  bool OnResponse(long, int64_t) override { return true; }
  bool OnBody(const char* data, size_t size) override {
    if (bytes.size() + size > CHttpClient::kMaxReply) {
      tooLarge = true;
      return false;
    }
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
  bool tooLarge = false;
};

// The body read in chunks of 1024 bytes, each taken up to its first zero
// byte, as a reader with a zero-terminated buffer assembles it.
std::string TextOfBody(const std::string& bytes) {
  std::string text;
  for (size_t at = 0; at < bytes.size(); at += 1024) {
    size_t len = std::min<size_t>(1024, bytes.size() - at);
    const char* chunk = bytes.data() + at;
    const void* zero = std::memchr(chunk, 0, len);
    text.append(chunk, zero ? static_cast<const char*>(zero) - chunk : len);
  }
  return text;
}

}  // namespace

// Each request opens and closes its own session and connection; nothing is
// kept between requests. The HTTP library is loaded by the first request.
CHttpClient::CHttpClient() = default;

CHttpClient::~CHttpClient() = default;

int CHttpClient::Get(const std::string& url, std::string* response) {
  HttpRequest request;
  request.url = url;
  request.userAgent = kUserAgent;
  request.headers = {"Accept: *,*/*", "Accept-Language: zh-cn",
                     "Content-Type: application/x-www-form-urlencoded",
                     "Accept-Encoding: gzip, deflate"};
  request.limits.connectMs = 3000;
  request.limits.stallMs = 3000;
  request.limits.overallMs = kReplyBoundMs;
  MemoryReceiver body;
  std::string error;
  HttpResult result = HttpTransfer(request, body, &error);
  if (result != HttpResult::Done) {
    if (body.tooLarge) error = "reply larger than " + std::to_string(kMaxReply) + " bytes";
    platform::Debug("request failed(" + url +
                    "): " + (result == HttpResult::TimedOut ? "timed out, " : "") + error);
    return result == HttpResult::TimedOut ? TimedOut : Failed;
  }
  *response = TextOfBody(body.bytes);
  return Done;
}
