// A small HTTP client for the server exchanges: one GET per call, the reply
// body as text, and a three-way result.
#pragma once

#include <cstddef>
#include <string>

class CHttpClient {
 public:
  enum Result { Done = 0, Failed = 1, TimedOut = 2 };

  CHttpClient();
  virtual ~CHttpClient();
  CHttpClient(const CHttpClient&) = delete;
  CHttpClient& operator=(const CHttpClient&) = delete;

  // One GET of url. On Done the body (each 1024-byte chunk up to its first
  // zero byte) replaces response, whatever the HTTP status; otherwise response
  // is left as it was. Result 2 (TimedOut): no connection within 3 s, no byte
  // of the reply for 3 s, or no whole reply within kReplyBoundMs.
  int Get(const std::string& url, std::string* response);

  static constexpr const char* kUserAgent =
      "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727)";
  // Largest reply accepted: a version answer is a few hundred bytes.
  static constexpr size_t kMaxReply = 8u << 20;
  // The whole reply must arrive within this time, so that a server that
  // sends a byte now and then cannot hold the downloader.
  static constexpr int kReplyBoundMs = 15000;
};
