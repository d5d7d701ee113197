// A small HTTP client for the server exchanges: one GET per call, the reply
// body as text, and a three-way result.
#pragma once

#include <string>

// Sets up the HTTP library once per process (safe to call from any thread).
void InitHttpLibrary();
// Applies the settings every request of the downloader shares (no cache,
// certificates not checked) to a curl easy handle.
void ApplyLenientTransferSettings(void* curlHandle);
// True when the URL's scheme is http or https (compared without case).
bool IsHttpUrl(const std::string& url);

class CHttpClient {
 public:
  enum Result { Done = 0, Failed = 1, TimedOut = 2 };

  CHttpClient();
  virtual ~CHttpClient();
  CHttpClient(const CHttpClient&) = delete;
  CHttpClient& operator=(const CHttpClient&) = delete;

  // One GET of url. On Done the body (each 1024-byte chunk up to its first
  // zero byte) replaces response, whatever the HTTP status; otherwise response
  // is left as it was. A connect, send or receive wait of 3 s is a time-out.
  int Get(const std::string& url, std::string* response);

  static constexpr const char* kUserAgent =
      "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727)";
  // Largest reply accepted: a version answer is a few hundred bytes.
  static constexpr size_t kMaxReply = 8u << 20;

 private:
  void* session_ = nullptr;  // curl easy handle, reused for every request of this client
};
