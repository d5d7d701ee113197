#include "update/download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/settings.h"
#include "channel/http_client.h"
#include "install/progress_sink.h"
#include "platform/platform.h"
#include "update/file_digest.h"

namespace {

constexpr size_t kReportChunk = 4096;
constexpr int kAttempts = 5;
// The original leaves its platform's default waits in place; these are ours.
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStallTimeoutSeconds = 60;

std::string FolderOf(const std::string& path) {
  size_t sep = path.rfind(platform::kPathSep);
  if (sep == std::string::npos) return ".";
  return sep == 0 ? std::string(1, platform::kPathSep) : path.substr(0, sep);
}

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

// One transfer's state: the body goes to a temporary file beside the target
// and replaces the target only once it is complete and checked.
struct Transfer {
  CURL* curl = nullptr;
  CBindCallback* callback = nullptr;
  std::string target;
  std::string expectedDigest;  // checked on the fly when not empty
  std::string tempPath;
  int fd = -1;
  bool statusChecked = false;
  bool isOk = false;  // status 200
  uint64_t announced = 0;
  uint64_t received = 0;
  bool writeFailed = false;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha{nullptr, EVP_MD_CTX_free};

  ~Transfer() { Discard(); }

  void Discard() {
    if (fd >= 0) close(fd);
    fd = -1;
    if (!tempPath.empty()) unlink(tempPath.c_str());
    tempPath.clear();
  }

  bool OpenTemp() {
    std::string tmpl = target + ".partXXXXXX";
    fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return false;
    tempPath = tmpl;
    // The assistant's programs must be startable once installed.
    fchmod(fd, EndsWith(target, ".exe") ? 0755 : 0644);
    if (expectedDigest.empty()) return true;
    sha.reset(EVP_MD_CTX_new());
    return sha && EVP_DigestInit_ex(sha.get(), EVP_sha1(), nullptr);
  }

  void CheckStatus() {
    if (statusChecked) return;
    statusChecked = true;
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    isOk = status == 200;
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    announced = length > 0 ? static_cast<uint64_t>(length) : 0;
  }

  bool Write(const char* data, size_t n) {
    if (fd < 0 && !OpenTemp()) return false;
    for (size_t done = 0; done < n;) {
      ssize_t w = write(fd, data + done, n - done);
      if (w <= 0) return false;
      done += static_cast<size_t>(w);
    }
    return !sha || EVP_DigestUpdate(sha.get(), data, n);
  }
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  t->CheckStatus();
  if (!t->isOk) return n;  // the body of an error page is not kept
  if (!t->Write(data, n)) {
    t->writeFailed = true;
    return 0;  // aborts the transfer
  }
  // Reported in steps of at most 4096 bytes, as the original read its body.
  for (size_t at = 0; at < n; at += kReportChunk) {
    t->received += std::min(kReportChunk, n - at);
    if (t->callback) {
      t->callback->OnProgress(static_cast<uint32_t>(t->received),
                              static_cast<uint32_t>(t->announced), 0, nullptr);
    }
  }
  return n;
}

int DownloadOnceChecked(const std::string& url, const std::string& target, CBindCallback* callback,
                        const std::string& expectedDigest) {
  if (!IsHttpUrl(url)) return 1;
  // The folder must exist; nothing is fetched for a target that cannot be written.
  if (!platform::Sys().fileSystem->IsFolder(FolderOf(target))) return 1;
  InitHttpLibrary();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return 1;  // no internet session
  Transfer t;
  t.curl = curl.get();
  t.callback = callback;
  t.target = target;
  t.expectedDigest = expectedDigest;
  ApplyLenientTransferSettings(curl.get());
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "Downloader");
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, kStallTimeoutSeconds);
  curl_easy_setopt(curl.get(), CURLOPT_BUFFERSIZE, 256L * 1024);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &t);

  CURLcode rc = curl_easy_perform(curl.get());
  if (rc == CURLE_OPERATION_TIMEDOUT) return 2;
  if (rc != CURLE_OK || t.writeFailed) return 1;
  t.CheckStatus();
  if (!t.isOk) {
    // An error answer writes nothing and leaves an earlier file in place;
    // with a digest to meet, that file has to meet it too.
    auto& fs = *platform::Sys().fileSystem;
    return expectedDigest.empty() || !fs.Exists(target) || FileMatchesDigest(target, expectedDigest)
               ? 0
               : 1;
  }
  if (t.received != t.announced) return 1;
  if (t.fd < 0 && !t.OpenTemp()) return 1;  // an empty body still makes a file
  if (t.sha) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    // Bytes the manifest does not vouch for are never installed.
    if (!EVP_DigestFinal_ex(t.sha.get(), digest, &len) || Base64(digest, len) != expectedDigest)
      return 1;
  }
  if (close(t.fd) != 0) {
    t.fd = -1;
    return 1;
  }
  t.fd = -1;
  if (rename(t.tempPath.c_str(), target.c_str()) != 0) return 1;
  t.tempPath.clear();
  return 0;
}

}  // namespace

CBindCallback::CBindCallback(ProgressSink* sink) : sink_(sink ? sink : progressDialog) {}

std::string UnknownLengthProgressText(uint64_t received) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(received) / 1024);
  return text;
}

int32_t CBindCallback::OnProgress(uint32_t progress, uint32_t total, uint32_t, const char*) {
  if (!sink_) return 0;
  sink_->SetCurrentRange(total);
  sink_->SetCurrentPos(progress);
  // Without an announced length there is no percentage: show the amount.
  sink_->SetCurrentPercent(total == 0 ? UnknownLengthProgressText(progress)
                                      : FormatPercent(progress, total));
  return 0;
}

int DownloadOnce(const std::string& url, const std::string& target, CBindCallback* callback) {
  return DownloadOnceChecked(url, target, callback, {});
}

bool DownloadFile(const std::string& url, const std::string& target, CBindCallback* callback,
                  const std::string& expectedDigest) {
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    if (DownloadOnceChecked(url, target, callback, expectedDigest) == 0 &&
        platform::Sys().fileSystem->Exists(target))
      return true;
  }
  return false;
}

bool FileMatchesDigest(const std::string& path, const std::string& digest) {
  std::string actual = FileDigest(path);
  return !actual.empty() && actual == digest;
}
