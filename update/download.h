// Fetching one URL into one local file, with progress. A file is written
// only when its whole body has arrived with the announced length; until
// then the body waits in the staging area (download_staging.h).
#pragma once

#include <cstdint>
#include <string>

#include "channel/http_transport.h"

class ProgressSink;

// Progress callback handed to a download; reports to a progress sink.
class CBindCallback {
 public:
  // Reports to sink, or to the open progress page when sink is null.
  explicit CBindCallback(ProgressSink* sink = nullptr);
  virtual ~CBindCallback() = default;
  // Sets the current-file bar to progress of total and its percentage label.
  // progress - bytes received so far; total - the announced length, 0 when
  // none was announced; statusCode, statusText - not used.
  virtual int32_t OnProgress(uint32_t progress, uint32_t total, uint32_t statusCode,
                             const char* statusText);

 private:
  ProgressSink* sink_;
};

// The text shown for a file whose length the server did not announce.
std::string UnknownLengthProgressText(uint64_t received);

// The bounds of every download: no connection within 60 s, no byte for
// 60 s, or less than 60 KiB in a minute (a rate below 1 KiB/s) end an
// attempt as timed out.
HttpLimits DefaultDownloadLimits();
// The bounds in use; tests and tools may set others.
const HttpLimits& DownloadLimits();
void SetDownloadLimits(const HttpLimits& limits);

// One attempt: 0 (no error), 1 (failed), 2 (timed out). A status other than
// 200 writes nothing and ends with 0. Each failure is logged with its reason.
int DownloadOnce(const std::string& url, const std::string& target, CBindCallback* callback);

// Up to five attempts. True when an attempt ended without error and a file
// exists at the target path afterwards. With an expected digest, a body whose
// FileDigest differs is a failed attempt and never reaches the target, and a
// file left in place by an error answer counts only when it has that digest.
bool DownloadFile(const std::string& url, const std::string& target, CBindCallback* callback,
                  const std::string& expectedDigest = {});

// True when the file's FileDigest equals digest.
bool FileMatchesDigest(const std::string& path, const std::string& digest);
