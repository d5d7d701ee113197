#include "channel/http_client.h"

#include <curl/curl.h>
#include <strings.h>

#include <cstring>
#include <mutex>

namespace {

struct Body {
  std::string bytes;
  bool tooLarge = false;
};

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  size_t n = size * count;
  if (body->bytes.size() + n > CHttpClient::kMaxReply) {
    body->tooLarge = true;
    return 0;  // aborts the transfer
  }
  body->bytes.append(data, n);
  return n;
}

// The body as the original reader assembled it: chunks of 1024 bytes, each
// taken up to its first zero byte.
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

void InitHttpLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsHttpUrl(const std::string& url) {
  return strncasecmp(url.c_str(), "http://", 7) == 0 ||
         strncasecmp(url.c_str(), "https://", 8) == 0;
}

void ApplyLenientTransferSettings(void* handle) {
  CURL* curl = static_cast<CURL*>(handle);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // Bank servers may present self-signed, expired or wrongly named
  // certificates; the payload is protected by the envelope or the signed
  // manifests instead.
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
#if LIBCURL_VERSION_NUM >= 0x075500
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
#endif
  // Every request goes to the server; nothing is kept between requests.
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
}

CHttpClient::CHttpClient() {
  InitHttpLibrary();
  session_ = curl_easy_init();
}

CHttpClient::~CHttpClient() {
  if (session_) curl_easy_cleanup(static_cast<CURL*>(session_));
}

int CHttpClient::Get(const std::string& url, std::string* response) {
  if (!IsHttpUrl(url)) return Failed;
  CURL* curl = static_cast<CURL*>(session_);
  if (!curl) return Failed;  // no session could be opened
  curl_easy_reset(curl);
  ApplyLenientTransferSettings(curl);

  curl_slist* headers = nullptr;
  for (const char* h :
       {"Accept: *,*/*", "Accept-Language: zh-cn",
        "Content-Type: application/x-www-form-urlencoded", "Accept-Encoding: gzip, deflate"}) {
    headers = curl_slist_append(headers, h);
  }
  Body body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 3000L);
  // A transfer that moves no byte for 3 s has stalled: a send or receive time-out.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 3L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);

  CURLcode rc = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  if (rc == CURLE_OPERATION_TIMEDOUT) return TimedOut;
  if (rc != CURLE_OK || body.tooLarge) return Failed;
  *response = TextOfBody(body.bytes);
  return Done;
}
