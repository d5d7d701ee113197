#include "install/update_plan.h"

#include <string>

#include "app/progress_sink.h"
#include "app/settings.h"
#include "install/file_deployment.h"
#include "install/install_context.h"
#include "install/process_control.h"
#include "platform/platform.h"
#include "update/download.h"
#include "update/file_digest.h"

namespace {

const std::string kSep(1, platform::kPathSep);

std::string Format(const char* pattern, const std::string& a, int n = 0, int m = 0) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, pattern, a.c_str(), n, m);
  return buf;
}

std::string ToUrlPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// The status line and Cancel caption of a failed component download.
void ShowFailure(ProgressSink* sink, const std::string& name) {
  if (!sink) return;
  sink->SetStatusText(Format("下载%s 失败", name));
  sink->SetCancelCaption("下载失败");
}

void ShowDownloading(ProgressSink* sink, const std::string& name, int number, int count) {
  if (!sink) return;
  sink->SetStatusText(Format("正在下载 %s   %d/%d", name, number, count));
  sink->SetCurrentPercent("0%");
}

void Refused(const std::string& what) {
  platform::Debug("manifest entry refused(" + what + "): it would leave the install folder");
}

// A download is checked against the digest it is given only when there is
// one, so an entry without a digest is refused rather than fetched unchecked.
void Unchecked(const std::string& what) {
  platform::Debug("manifest entry refused(" + what +
                  "): it has no digest to check the file against");
}

// A first installation: every entry straight into the install folder.
bool InstallPass(InstallContext& c, const ComponentManifest& manifest) {
  for (int i = 1; i <= manifest.EntryCount(); ++i) {
    ManifestEntry e = manifest.EntryAt(i);
    if (e.FileName.empty()) continue;  // an index without a File element
    if (e.FileName.find("TolvanePop") != std::string::npos) KillProcessByName(e.FileName);
    if (!IsContainedPath(RelativePath(e))) {
      Refused(RelativePath(e));
      ShowFailure(c.sink, e.FileName);
      return false;
    }
    if (e.Digest.empty()) {
      Unchecked(RelativePath(e));
      ShowFailure(c.sink, e.FileName);
      return false;
    }
    // A link among the install folder's own folders would carry the file
    // outside the install.
    if (ThroughLink(c.installDir, LocalPath(e.Path))) {
      Refused(RelativePath(e));
      ShowFailure(c.sink, e.FileName);
      return false;
    }
    std::string folder = c.installDir + kSep + LocalPath(e.Path);
    if (!e.Path.empty() && !platform::Sys().fileSystem->IsFolder(folder)) {
      int error = 0;
      (void)platform::Sys().fileSystem->CreateFolder(folder, &error);  // parents are not made
    }
    ShowDownloading(c.sink, e.FileName, c.currentStep, c.totalSteps);
    if (e.FileName == RunSettings.assistantExeName) MoveAssistantAside(c.installDir);
    std::string target =
        e.Path.empty() ? c.installDir + kSep + e.FileName : folder + kSep + e.FileName;
    std::string url = c.downloadUrl + "/" + ToUrlPath(e.Path) + "/" + e.FileName;
    CBindCallback callback(c.sink);
    if (!DownloadFile(url, target, &callback, e.Digest)) {
      ShowFailure(c.sink, e.FileName);
      return false;
    }
    if (c.sink) {
      c.sink->SetTotalPercent(FormatPercent(c.currentStep, c.totalSteps));
      c.sink->SetTotalPos(static_cast<uint32_t>(c.currentStep));
    }
    ++c.currentStep;
  }
  return true;
}

// An update or repair: list what is missing or differs.
void CollectPass(InstallContext& c, const ComponentManifest& manifest,
                 const ComponentManifest& reference) {
  for (int i = 1; i <= manifest.EntryCount(); ++i) {
    ManifestEntry e = manifest.EntryAt(i);
    if (e.FileName.empty()) continue;
    if (e.FileName.find("TolvanePop") != std::string::npos) KillProcessByName(e.FileName);
    std::string rel = RelativePath(e);
    // A path that leaves the install folder is listed unread; its download
    // is refused below.
    if (IsContainedPath(rel)) {
      std::string installed = c.installDir + kSep + LocalPath(e.Path) + kSep + e.FileName;
      if (platform::Sys().fileSystem->Exists(installed) && reference.ContainsEntry(e) &&
          FileDigest(installed) == e.Digest)
        continue;
    }
    c.updateList.push_back(rel);
    c.updateDigests[rel] = e.Digest;
  }
}

bool DownloadList(InstallContext& c) {
  const int k = static_cast<int>(c.updateList.size());
  ProgressSink* sink = c.sink;
  if (k == 0) {
    if (sink) {
      sink->SetCurrentRange(1);
      sink->SetCurrentPos(1);
      sink->SetTotalRange(1);
      sink->SetTotalPos(1);
      sink->SetStatusText("无需更新");
      sink->SetCurrentPercent("100%");
      sink->SetTotalPercent("100%");
    }
    return true;
  }
  if (sink) {
    sink->SetTotalRange(static_cast<uint32_t>(k));
    sink->SetTotalPos(0);
  }
  bool result = true;
  for (int j = 1; j <= k; ++j) {
    const std::string& r = c.updateList[static_cast<size_t>(j - 1)];
    ShowDownloading(sink, r, j, k);
    bool ok = false;
    auto digest = c.updateDigests.find(r);
    if (!IsContainedPath(r)) {
      Refused(r);
    } else if (digest == c.updateDigests.end() || digest->second.empty()) {
      Unchecked(r);
    } else {
      // A folder the new release added exists in the download folder only
      // once something is fetched into it.
      const std::string target = c.downloadDir + kSep + LocalPath(r);
      (void)CreateFolderTree(platform::ParentFolder(target));
      CBindCallback callback(sink);
      ok = DownloadFile(c.downloadUrl + "/" + ToUrlPath(r), target, &callback, digest->second);
    }
    if (ok) {
      if (sink) {
        sink->SetTotalPercent(FormatPercent(j, k));
        sink->SetTotalPos(static_cast<uint32_t>(j));
      }
    } else {
      ShowFailure(sink, r);
      result = false;
    }
  }
  return result;
}

}  // namespace

std::string RelativePath(const ManifestEntry& e) {
  return e.Path.empty() ? e.FileName : e.Path + "\\" + e.FileName;
}

std::string LocalPath(const std::string& manifestPath) {
  std::string p = manifestPath;
  for (char& c : p)
    if (c == '\\') c = platform::kPathSep;
  return p;
}

bool IsContainedPath(const std::string& p) {
  if (p.empty() || p[0] == '\\' || p[0] == '/') return false;
  if (p.find('\0') != std::string::npos || p.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= p.size()) {
    size_t sep = p.find_first_of("\\/", start);
    if (sep == std::string::npos) sep = p.size();
    if (p.compare(start, sep - start, "..") == 0 && sep - start == 2) return false;
    start = sep + 1;
  }
  return true;
}

bool DownloadManifests(InstallContext& c) {
  bool intoDownloadFolder = c.mode != Install;
  if (intoDownloadFolder) (void)DeleteFilesBelow(c.downloadDir);
  for (int i = 0; i < 2; ++i) {
    const std::string& target =
        intoDownloadFolder ? c.downloadManifestCopies[i] : c.installedManifestCopies[i];
    if (c.sink) c.sink->SetStatusText(Format("正在下载 %s", "配置文件"));
    if (!DownloadFile(c.serverManifestUrls[i], target, nullptr)) return false;
    if (!VerifyManifestSignature(target)) {
      platform::Debug("manifest signature does not hold(" + target + ")");
      return false;
    }
  }
  return true;
}

bool RunDownloadPass(InstallContext& c, ManifestKind kind) {
  int i = static_cast<int>(kind);
  bool install = c.mode == Install;
  ComponentManifest manifest =
      LoadManifest(install ? c.installedManifestCopies[i] : c.downloadManifestCopies[i]);
  KillProcessByName(RunSettings.webUiExeName);
  if (install) return InstallPass(c, manifest);
  CollectPass(c, manifest, LoadManifest(c.installedManifestCopies[i]));
  // In an update every download waits for the bank's pass, after both
  // manifests have been compared.
  if (c.mode == Update && kind == ManifestKind::Common) return true;
  return DownloadList(c);
}
