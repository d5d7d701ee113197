// Where a download's body waits until it is complete. Bodies are kept out
// of the folders that listings, copies and install steps look at: below a
// staging root on the target's volume, in one folder per run ("run-<pid>"),
// held by a lock while the run lives. A run folder whose lock is free was
// left by a run that was killed; the next run that stages there removes it.
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

// The root the install job stages in (a folder beside the install folder).
// Empty: the temporary folder's "downloader-staging" is used. A root on
// another volume than a target is not used for it.
void SetStagingRoot(const std::string& root);
const std::string& StagingRoot();

// A new, empty body file for a download into target's folder.
class StagedBody {
 public:
  // Null (with the system's error) when no body file can be made.
  static std::unique_ptr<StagedBody> Create(const std::string& target, bool executable, int* error);
  ~StagedBody();  // removes the file unless Commit succeeded

  bool Write(const void* data, size_t size, int* error) { return file_->Write(data, size, error); }
  // Closes the body and gives it the target's name, replacing an older file.
  bool Commit(const std::string& target, int* error);
  const std::string& path() const { return path_; }

 private:
  StagedBody() = default;
  std::unique_ptr<platform::OutputFile> file_;
  std::string path_;
  std::string runFolder_;
  bool committed_ = false;
};

// The run folders below root that no live run holds are removed with their
// contents; the number removed.
int SweepStaleRuns(const std::string& root);
