#include "channel/http_transport.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// libcurl, loaded on first use instead of at start-up: the library and the
// network, TLS and directory libraries it needs add some thirty shared
// objects to the process, and the wizard's first page needs none of them.
struct CurlLibrary {
  // The shared object loaded; the ABI name of every libcurl since 7.16.
  static constexpr const char* kSoname = "libcurl.so.4";

  CURLcode (*global_init)(long flags);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL* curl, CURLoption option, ...);
  CURLcode (*easy_getinfo)(CURL* curl, CURLINFO info, ...);
  const char* (*easy_strerror)(CURLcode code);
  void (*easy_cleanup)(CURL* curl);
  curl_slist* (*slist_append)(curl_slist* list, const char* text);
  void (*slist_free_all)(curl_slist* list);
  CURLM* (*multi_init)();
  CURLMcode (*multi_add_handle)(CURLM* multi, CURL* curl);
  CURLMcode (*multi_remove_handle)(CURLM* multi, CURL* curl);
  CURLMcode (*multi_perform)(CURLM* multi, int* running);
  CURLMcode (*multi_poll)(CURLM* multi, curl_waitfd* extra, unsigned extraCount, int timeoutMs,
                          int* ready);
  CURLMsg* (*multi_info_read)(CURLM* multi, int* queued);
  CURLMcode (*multi_cleanup)(CURLM* multi);
};

template <typename F>
bool Bind(void* handle, const char* soname, const char* name, F* slot, std::string* error) {
  void* symbol = dlsym(handle, name);
  if (!symbol) {
    *error = std::string(soname) + " has no " + name;
    return false;
  }
  *slot = reinterpret_cast<F>(symbol);
  return true;
}

// Loads soname, binds every function and sets the library up; null, with
// the reason in *error, when one of them fails.
std::unique_ptr<const CurlLibrary> OpenCurl(const char* soname, std::string* error) {
  std::string why;
  // Kept loaded for the rest of the process: transfers may run on any thread.
  void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* text = dlerror();
    if (error) *error = std::string("the HTTP library cannot be loaded: ") + (text ? text : soname);
    return nullptr;
  }
  auto a = std::make_unique<CurlLibrary>();
  auto bind = [&](const char* name, auto* slot) { return Bind(handle, soname, name, slot, &why); };
  bool ok =
      bind("curl_global_init", &a->global_init) && bind("curl_easy_init", &a->easy_init) &&
      bind("curl_easy_setopt", &a->easy_setopt) && bind("curl_easy_getinfo", &a->easy_getinfo) &&
      bind("curl_easy_strerror", &a->easy_strerror) &&
      bind("curl_easy_cleanup", &a->easy_cleanup) && bind("curl_slist_append", &a->slist_append) &&
      bind("curl_slist_free_all", &a->slist_free_all) && bind("curl_multi_init", &a->multi_init) &&
      bind("curl_multi_add_handle", &a->multi_add_handle) &&
      bind("curl_multi_remove_handle", &a->multi_remove_handle) &&
      bind("curl_multi_perform", &a->multi_perform) && bind("curl_multi_poll", &a->multi_poll) &&
      bind("curl_multi_info_read", &a->multi_info_read) &&
      bind("curl_multi_cleanup", &a->multi_cleanup);
  if (ok && a->global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    ok = false;
    why = std::string(soname) + " cannot be set up";
  }
  if (!ok) {
    dlclose(handle);
    if (error) *error = why;
    return nullptr;
  }
  return a;
}

// The library of kSoname, loaded by the first caller on any thread; the same
// answer for every later one.
const CurlLibrary* Curl(std::string* error) {
  struct Loaded {
    const CurlLibrary* api;
    std::string error;
  };
  // Built once, by the first caller; never freed, as threads may use it to
  // the end of the process.
  static const Loaded* loaded = [] {
    auto* l = new Loaded{nullptr, {}};
    l->api = OpenCurl(CurlLibrary::kSoname, &l->error).release();
    return l;
  }();
  if (!loaded->api && error) *error = loaded->error;
  return loaded->api;
}

using Clock = std::chrono::steady_clock;

// After the announced body has arrived, how long to wait for the server to
// close (or to send more than it announced) before the body counts as whole.
constexpr auto kCloseGrace = std::chrono::milliseconds(1000);
// The loop looks at the clock at least this often.
constexpr int kPollMs = 100;

// A Content-Length value: digits, with blanks around them allowed.
bool ParseLength(const std::string& text, int64_t* value) {
  size_t i = 0, end = text.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r' ||
                     text[end - 1] == '\n'))
    --end;
  if (i == end || end - i > 18) return false;
  int64_t v = 0;
  for (size_t k = i; k < end; ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
    v = v * 10 + (text[k] - '0');
  }
  *value = v;
  return true;
}

struct Transfer {
  const CurlLibrary& api;
  const HttpRequest& request;
  HttpReceiver& receiver;
  CURL* curl = nullptr;
  bool responded = false;
  std::string abortWhy;              // set when we end the transfer ourselves
  std::vector<std::string> lengths;  // Content-Length values of the last response head
  int64_t length = -1;
  uint64_t received = 0;
  Clock::time_point start = Clock::now();
  Clock::time_point lastByte = start;
  Clock::time_point windowStart{};
  uint64_t windowBytes = 0;
  bool anyBody = false;

  Transfer(const CurlLibrary& a, const HttpRequest& r, HttpReceiver& rx)
      : api(a), request(r), receiver(rx) {}

  bool Respond() {
    if (responded) return abortWhy.empty();
    responded = true;
    long status = 0;
    api.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (request.strictLength) {
      for (const std::string& text : lengths) {
        int64_t v = 0;
        if (!ParseLength(text, &v) || (length >= 0 && v != length)) {
          abortWhy = "malformed or conflicting Content-Length:" + text;
          return false;
        }
        length = v;
      }
    } else {
      curl_off_t announced = -1;
      api.easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
      length = announced;
    }
    if (!receiver.OnResponse(status, length)) {
      abortWhy = "refused by the receiver";
      return false;
    }
    return true;
  }

  bool Body(const char* data, size_t n) {
    const Clock::time_point now = Clock::now();
    lastByte = now;
    if (!anyBody) windowStart = now;
    anyBody = true;
    if (!Respond()) return false;
    received += n;
    windowBytes += n;
    if (request.strictLength && length >= 0 && received > static_cast<uint64_t>(length)) {
      abortWhy = "body longer than its Content-Length " + std::to_string(length);
      return false;
    }
    if (!receiver.OnBody(data, n)) {
      abortWhy = "refused by the receiver";
      return false;
    }
    return true;
  }

  bool WholeBodyHere() const {
    return request.strictLength && length >= 0 && received == static_cast<uint64_t>(length);
  }
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  try {
    t->lastByte = Clock::now();
    std::string line(data, n);
    if (line.rfind("HTTP/", 0) == 0) t->lengths.clear();  // a new response head
    if (strncasecmp(line.c_str(), "content-length:", 15) == 0)
      t->lengths.push_back(line.substr(15));
  } catch (...) {
    t->abortWhy = "out of memory";
    return 0;
  }
  return n;
}

size_t OnData(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  try {
    // No exception may cross back into the library.
    return t->Body(data, n) ? n : 0;
  } catch (...) {
    t->abortWhy = "receiver failed";
    return 0;
  }
}

void Configure(CURL* curl, const HttpRequest& r, Transfer* t, curl_slist* headers, char* errors,
               const std::string& url) {
  const CurlLibrary& api = t->api;
  api.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  api.easy_setopt(curl, CURLOPT_ERRORBUFFER, errors);
  api.easy_setopt(curl, CURLOPT_URL, url.c_str());
  api.easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  api.easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  // Bank servers may present self-signed, expired or wrongly named
  // certificates; the payload is protected by the envelope or the signed
  // manifests instead.
  api.easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  api.easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  api.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  api.easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
#if LIBCURL_VERSION_NUM >= 0x075500
  api.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  api.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
  api.easy_setopt(curl, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
  api.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
#endif
  // Every request goes to the server; nothing is kept between requests.
  api.easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  api.easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  api.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(r.limits.connectMs));
  if (!r.userAgent.empty()) api.easy_setopt(curl, CURLOPT_USERAGENT, r.userAgent.c_str());
  if (headers) api.easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  // The body's end is read off the connection, so that a longer body shows.
  if (r.strictLength) api.easy_setopt(curl, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  api.easy_setopt(curl, CURLOPT_BUFFERSIZE, 256L * 1024);
  api.easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  api.easy_setopt(curl, CURLOPT_HEADERDATA, t);
  api.easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnData);
  api.easy_setopt(curl, CURLOPT_WRITEDATA, t);
}

// Why the loop should stop now with a time-out, or empty.
std::string LimitReached(Transfer& t, Clock::time_point now) {
  const HttpLimits& l = t.request.limits;
  if (l.overallMs > 0 && now - t.start > std::chrono::milliseconds(l.overallMs))
    return "no complete reply within " + std::to_string(l.overallMs) + " ms";
  curl_off_t pretransfer = 0;
  t.api.easy_getinfo(t.curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
  if (pretransfer > 0) {  // connected: from now on the reply may not stall
    Clock::time_point since =
        std::max(t.lastByte, t.start + std::chrono::microseconds(pretransfer));
    if (now - since > std::chrono::milliseconds(l.stallMs))
      return "no byte for " + std::to_string(l.stallMs) + " ms";
  }
  if (l.minBytesPerWindow > 0 && t.anyBody &&
      now - t.windowStart >= std::chrono::milliseconds(l.rateWindowMs)) {
    if (t.windowBytes < l.minBytesPerWindow)
      return "only " + std::to_string(t.windowBytes) + " bytes in " +
             std::to_string(l.rateWindowMs) + " ms";
    t.windowStart = now;
    t.windowBytes = 0;
  }
  return {};
}

}  // namespace

bool InitHttpLibrary(std::string* error) { return Curl(error) != nullptr; }

bool CanLoadHttpLibrary(const char* soname, std::string* error) {
  return OpenCurl(soname, error) != nullptr;
}

bool IsHttpUrl(const std::string& url) {
  return strncasecmp(url.c_str(), "http://", 7) == 0 ||
         strncasecmp(url.c_str(), "https://", 8) == 0;
}

std::string EncodeUrlBytes(const std::string& url) {
  std::string out;
  out.reserve(url.size());
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

HttpResult HttpTransfer(const HttpRequest& request, HttpReceiver& receiver, std::string* error) {
  auto fail = [&](HttpResult r, const std::string& why) {
    if (error) *error = why;
    return r;
  };
  if (!IsHttpUrl(request.url)) return fail(HttpResult::Failed, "not an http or https URL");
  std::string why;
  const CurlLibrary* library = Curl(&why);
  if (!library) return fail(HttpResult::Failed, why);
  const CurlLibrary& api = *library;
  std::unique_ptr<CURL, void (*)(CURL*)> curl(api.easy_init(), api.easy_cleanup);
  std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(api.multi_init(), api.multi_cleanup);
  if (!curl || !multi) return fail(HttpResult::Failed, "no internet session can be opened");

  curl_slist* headers = nullptr;
  for (const std::string& h : request.headers) headers = api.slist_append(headers, h.c_str());
  if (request.strictLength) headers = api.slist_append(headers, "Connection: close");
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, api.slist_free_all);
  Transfer t(api, request, receiver);
  t.curl = curl.get();
  char errors[CURL_ERROR_SIZE] = {0};
  Configure(curl.get(), request, &t, headers, errors, EncodeUrlBytes(request.url));
  api.multi_add_handle(multi.get(), curl.get());

  CURLcode code = CURLE_OK;
  bool finished = false;
  std::string limit;
  while (!finished) {
    int running = 0;
    if (api.multi_perform(multi.get(), &running) != CURLM_OK) {
      code = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    while (CURLMsg* msg = api.multi_info_read(multi.get(), &queued)) {
      if (msg->msg == CURLMSG_DONE) {
        code = msg->data.result;
        finished = true;
      }
    }
    if (finished || running == 0) break;
    const Clock::time_point now = Clock::now();
    // The whole announced body is here and nothing more came: the server
    // keeps the connection open although asked to close it.
    if (t.WholeBodyHere() && now - t.lastByte >= kCloseGrace) break;
    if (!(limit = LimitReached(t, now)).empty()) break;
    api.multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
  }
  api.multi_remove_handle(multi.get(), curl.get());

  if (!limit.empty()) return fail(HttpResult::TimedOut, limit);
  if (!t.abortWhy.empty()) return fail(HttpResult::Failed, t.abortWhy);
  if (code == CURLE_OPERATION_TIMEDOUT)
    return fail(HttpResult::TimedOut, errors[0] ? errors : api.easy_strerror(code));
  if (code != CURLE_OK) {
    return fail(HttpResult::Failed, std::string(api.easy_strerror(code)) +
                                        (errors[0] ? std::string(": ") + errors : ""));
  }
  // An empty body still has a response.
  if (!t.Respond()) return fail(HttpResult::Failed, t.abortWhy);
  return HttpResult::Done;
}
