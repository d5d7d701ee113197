#include "update/download.h"

#include <openssl/evp.h>
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/progress_sink.h"
#include "app/settings.h"
#include "platform/platform.h"
#include "update/download_staging.h"
#include "update/file_digest.h"

namespace {

constexpr size_t kReportChunk = 4096;
constexpr int kAttempts = 5;

HttpLimits limits = DefaultDownloadLimits();

platform::FileSystem& Fs() { return *platform::Sys().fileSystem; }

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

// Receives one reply: the body of a 200 answer goes to a staged file, its
// SHA-1 is computed as it arrives, and progress is reported in steps of at
// most 4096 bytes.
class FileReceiver : public HttpReceiver {
 public:
  FileReceiver(const std::string& target, CBindCallback* callback, const std::string& digest)
      : target_(target), callback_(callback), expectedDigest_(digest) {}

  bool OnResponse(long status, int64_t length) override {
    status_ = status;
    announced_ = length > 0 ? static_cast<uint64_t>(length) : 0;
    return true;
  }

  bool OnBody(const char* data, size_t n) override {
    if (status_ != 200) return true;  // the body of an error page is not kept
    if (!body_ && !Open()) return false;
    if (!body_->Write(data, n, &error_)) {
      why_ = "cannot write " + body_->path() + ": " + std::strerror(error_);
      return false;
    }
    if (sha_ && !EVP_DigestUpdate(sha_.get(), data, n)) return false;
    for (size_t at = 0; at < n; at += kReportChunk) {
      received_ += std::min(kReportChunk, n - at);
      if (callback_) {
        callback_->OnProgress(static_cast<uint32_t>(received_), static_cast<uint32_t>(announced_),
                              0, nullptr);
      }
    }
    return true;
  }

  // After a complete transfer: 0 when the target now holds the body, 1 with
  // the reason in why().
  int Finish() {
    if (received_ != announced_) {
      why_ = "received " + std::to_string(received_) + " bytes of " + std::to_string(announced_);
      return 1;
    }
    if (!body_ && !Open()) return 1;  // an empty body still makes a file
    if (sha_) {
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int len = 0;
      // Bytes the manifest does not vouch for are never installed.
      if (!EVP_DigestFinal_ex(sha_.get(), digest, &len) || Base64(digest, len) != expectedDigest_) {
        why_ = "content digest differs from " + expectedDigest_;
        return 1;
      }
    }
    if (!body_->Commit(target_, &error_)) {
      why_ = "cannot put the body in place: " + std::string(std::strerror(error_));
      return 1;
    }
    return 0;
  }

  long status() const { return status_; }
  const std::string& why() const { return why_; }

 private:
  bool Open() {
    // The assistant's programs must be startable once installed.
    body_ = StagedBody::Create(target_, EndsWith(target_, ".exe"), &error_);
    if (!body_) {
      why_ = "cannot make a body file for " + target_ + ": " + std::strerror(error_);
      return false;
    }
    if (expectedDigest_.empty()) return true;
    sha_.reset(EVP_MD_CTX_new());
    return sha_ && EVP_DigestInit_ex(sha_.get(), EVP_sha1(), nullptr);
  }

  std::string target_;
  CBindCallback* callback_;
  std::string expectedDigest_;
  long status_ = 0;
  uint64_t announced_ = 0;
  uint64_t received_ = 0;
  std::unique_ptr<StagedBody> body_;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha_{nullptr, EVP_MD_CTX_free};
  int error_ = 0;
  std::string why_;
};

int Fail(int result, const std::string& url, const std::string& why) {
  platform::Debug("download failed(" + url + "): " + why);
  return result;
}

int DownloadOnceChecked(const std::string& url, const std::string& target, CBindCallback* callback,
                        const std::string& expectedDigest) {
  if (!IsHttpUrl(url)) return Fail(1, url, "not an http or https URL");
  // The folder must exist; nothing is fetched for a target that cannot be written.
  if (!Fs().IsFolder(platform::ParentFolder(target)))
    return Fail(1, url, "the folder of " + target + " does not exist");
  HttpRequest request;
  request.url = url;
  request.userAgent = "Downloader";
  request.limits = limits;
  request.strictLength = true;
  FileReceiver receiver(target, callback, expectedDigest);
  std::string error;
  HttpResult result = HttpTransfer(request, receiver, &error);
  if (result == HttpResult::TimedOut) return Fail(2, url, "timed out: " + error);
  if (result != HttpResult::Done) {
    return Fail(1, url, receiver.why().empty() ? error : receiver.why());
  }
  if (receiver.status() != 200) {
    // An error answer writes nothing and leaves an earlier file in place;
    // with a digest to meet, that file has to meet it too.
    if (!expectedDigest.empty() && Fs().Exists(target) &&
        !FileMatchesDigest(target, expectedDigest))
      return Fail(1, url,
                  "status " + std::to_string(receiver.status()) +
                      " and the earlier file does not have the expected digest");
    platform::Debug("download answered with status " + std::to_string(receiver.status()) + "(" +
                    url + "), nothing written");
    return 0;
  }
  if (receiver.Finish() != 0) return Fail(1, url, receiver.why());
  return 0;
}

}  // namespace

HttpLimits DefaultDownloadLimits() {
  HttpLimits l;
  l.connectMs = 60000;
  l.stallMs = 60000;
  l.overallMs = 0;
  l.minBytesPerWindow = 60 * 1024;
  l.rateWindowMs = 60000;
  return l;
}

const HttpLimits& DownloadLimits() { return limits; }
void SetDownloadLimits(const HttpLimits& l) { limits = l; }

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
    if (DownloadOnceChecked(url, target, callback, expectedDigest) == 0 && Fs().Exists(target))
      return true;
  }
  platform::Debug("download given up after " + std::to_string(kAttempts) + " attempts(" + url +
                  ")");
  return false;
}

bool FileMatchesDigest(const std::string& path, const std::string& digest) {
  std::string actual = FileDigest(path);
  return !actual.empty() && actual == digest;
}
