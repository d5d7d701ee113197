#include "update/download_staging.h"

#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/platform.h"

namespace {

std::mutex mutex;
std::string configuredRoot;
std::set<std::string> swept;                                       // roots already swept
std::map<std::string, std::unique_ptr<platform::FileLock>> locks;  // our run folder per root
std::map<std::string, int> openBodies;                             // per run folder

platform::FileSystem& Fs() { return *platform::Sys().fileSystem; }

std::string RunFolderName() { return "run-" + std::to_string(getpid()); }

bool EnsureFolder(const std::string& path) {
  int error = 0;
  return Fs().IsFolder(path) || Fs().CreateFolder(path, &error) || Fs().IsFolder(path);
}

// Removes a folder's files and links, then the folder itself. Links are
// deleted, never followed.
void RemoveRunFolder(const std::string& folder) {
  std::vector<platform::FolderEntry> entries;
  if (Fs().ListFolder(folder, &entries)) {
    for (const platform::FolderEntry& e : entries) {
      if (e.kind != platform::EntryKind::Folder) Fs().DeleteFile(folder + "/" + e.name);
    }
  }
  Fs().RemoveEmptyFolder(folder);
}

// The staging root for a target folder: the configured one, then the
// temporary folder's, each only when it can be made on the target's volume;
// otherwise the target folder itself.
std::string RootFor(const std::string& targetFolder) {
  std::vector<std::string> candidates;
  if (!configuredRoot.empty()) candidates.push_back(configuredRoot);
  candidates.push_back(platform::Sys().locations->TempDir() + "/downloader-staging");
  for (const std::string& root : candidates) {
    if (EnsureFolder(root) && Fs().SameVolume(root, targetFolder)) return root;
  }
  return targetFolder;
}

// Our run folder below root, made and locked on first use.
std::string RunFolderIn(const std::string& root) {
  const std::string folder = root + "/" + RunFolderName();
  if (swept.insert(root).second) SweepStaleRuns(root);
  if (locks.count(root) && Fs().IsFolder(folder)) return folder;
  locks.erase(root);
  if (!EnsureFolder(folder)) return {};
  std::unique_ptr<platform::FileLock> lock = Fs().TryLockFile(folder + "/.lock");
  if (!lock) return {};
  locks[root] = std::move(lock);
  return folder;
}

// Drops our run folder once no body in it is open, so that a finished run
// leaves nothing behind.
void ReleaseRunFolder(const std::string& root, const std::string& folder) {
  if (--openBodies[folder] > 0) return;
  openBodies.erase(folder);
  Fs().DeleteFile(folder + "/.lock");
  locks.erase(root);
  Fs().RemoveEmptyFolder(folder);
  Fs().RemoveEmptyFolder(root);  // only when no other run uses it
}

}  // namespace

void SetStagingRoot(const std::string& root) {
  std::lock_guard<std::mutex> lock(mutex);
  configuredRoot = root;
}

const std::string& StagingRoot() { return configuredRoot; }

int SweepStaleRuns(const std::string& root) {
  std::vector<platform::FolderEntry> entries;
  if (!Fs().ListFolder(root, &entries)) return 0;
  int removed = 0;
  for (const platform::FolderEntry& e : entries) {
    if (e.kind != platform::EntryKind::Folder || e.name.rfind("run-", 0) != 0) continue;
    if (e.name == RunFolderName()) continue;
    const std::string folder = root + "/" + e.name;
    // A lock we can take belongs to nobody: its run is gone.
    if (!Fs().TryLockFile(folder + "/.lock")) continue;
    platform::Debug("removing what an ended run left(" + folder + ")");
    RemoveRunFolder(folder);
    ++removed;
  }
  return removed;
}

std::unique_ptr<StagedBody> StagedBody::Create(const std::string& target, bool executable,
                                               int* error) {
  static std::atomic<unsigned> counter{0};
  const std::string targetFolder = platform::ParentFolder(target);
  std::unique_ptr<StagedBody> body(new StagedBody);
  const std::string name = std::to_string(counter++) + ".part";
  {
    std::lock_guard<std::mutex> lock(mutex);
    const std::string root = RootFor(targetFolder);
    if (root == targetFolder) {
      // No staging root on this volume: a short hidden name beside the target.
      body->path_ = targetFolder + "/.~" + std::to_string(getpid()) + "-" + name;
    } else {
      std::string run = RunFolderIn(root);
      if (run.empty()) {
        if (error) *error = EACCES;
        return nullptr;
      }
      body->runFolder_ = run;
      body->path_ = run + "/" + name;
      ++openBodies[run];
    }
  }
  body->file_ = Fs().CreateNewFile(body->path_, executable, error);
  if (!body->file_) return nullptr;
  return body;
}

bool StagedBody::Commit(const std::string& target, int* error) {
  if (!file_->Close(error)) return false;
  committed_ = Fs().ReplaceFile(path_, target, error);
  return committed_;
}

StagedBody::~StagedBody() {
  file_.reset();  // an unclosed body file is removed here
  if (!committed_) Fs().DeleteFile(path_);
  if (runFolder_.empty()) return;
  std::lock_guard<std::mutex> lock(mutex);
  ReleaseRunFolder(platform::ParentFolder(runFolder_), runFolder_);
}
