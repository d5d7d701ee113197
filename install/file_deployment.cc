#include "install/file_deployment.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "app/settings.h"
#include "install/install_context.h"
#include "platform/platform.h"

namespace {

const std::string kSep(1, platform::kPathSep);

platform::FileSystem& Fs() { return *platform::Sys().fileSystem; }

}  // namespace

bool ThroughLink(const std::string& base, const std::string& rel) {
  std::string parent = base;
  size_t start = 0;
  while (start < rel.size()) {
    size_t sep = rel.find(platform::kPathSep, start);
    if (sep == std::string::npos) sep = rel.size();
    parent += kSep + rel.substr(start, sep - start);
    if (Fs().IsLink(parent)) return true;
    start = sep + 1;
  }
  return false;
}

bool CreateFolderTree(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t sep = path.find(platform::kPathSep, start);
    if (sep == std::string::npos) sep = path.size();
    // A leading separator gives an empty first component (the root).
    if (sep > start || parts.empty()) parts.push_back(path.substr(start, sep - start));
    start = sep + 1;
  }
  if (Fs().IsFolder(path)) return true;
  std::string cur = parts[0];  // the loop above always yields a first component
  for (size_t i = 1; i < parts.size(); ++i) {
    cur += kSep + parts[i];
    if (Fs().IsFolder(cur)) continue;
    int error = 0;
    if (!Fs().CreateFolder(cur, &error)) {
      platform::Debug("创建文件夹失败 Path=" + cur + ", errcode=" + std::to_string(error));
      return false;
    }
  }
  return true;
}

bool CreateStandardFolders(const InstallContext& c) {
  const char* const subs[] = {"Data", "Plugins", "Script", "Tools"};
  for (const char* sub : subs) CreateFolderTree(c.installDir + kSep + sub);
  CreateFolderTree(c.downloadDir);
  for (const char* sub : subs) CreateFolderTree(c.downloadDir + kSep + sub);
  return true;
}

void MoveAssistantAside(const std::string& folder) {
  const std::string old = folder + kSep + "harbinet_old.exe";
  const std::string current = folder + kSep + RunSettings.assistantExeName;
  if (Fs().Exists(old)) Fs().DeleteFile(old);
  if (Fs().Exists(current)) Fs().Rename(current, old);
}

bool CopyDownloadedFiles(const InstallContext& c) {
  if (c.mode == Install) return true;
  return CopyTree(c, c.downloadDir);
}

bool CopyTree(const InstallContext& c, const std::string& folder) {
  std::vector<platform::FolderEntry> entries;
  if (!Fs().ListFolder(folder, &entries)) return false;
  // The part of folder below the download folder, without its separator.
  std::string rel = folder.size() > c.downloadDir.size() ? folder.substr(c.downloadDir.size() + 1)
                                                         : std::string();
  for (const platform::FolderEntry& e : entries) {
    if (e.kind == platform::EntryKind::Folder) {
      if (!e.name.empty() && e.name[0] == '.') continue;
      if (!CopyTree(c, folder + kSep + e.name)) return false;
      continue;
    }
    const std::string source = folder + kSep + e.name;
    if (e.kind != platform::EntryKind::File) {
      // A link is never copied through: it could lead anywhere.
      platform::Debug("not copied, not a plain file(" + source + ")");
      continue;
    }
    const std::string target = c.installDir + kSep + (rel.empty() ? "" : rel + kSep) + e.name;
    // Only the main program at the top of the tree is the running one; a
    // file of that name in a sub-folder is an ordinary component.
    if (rel.empty() && e.name == RunSettings.assistantExeName) MoveAssistantAside(c.installDir);
    int error = 0;
    // A link among the install folder's own folders would carry the copy
    // outside the install; such a target counts as one that cannot be written.
    bool throughLink = ThroughLink(c.installDir, rel);
    if (throughLink) error = ELOOP;
    // A folder the new release added is made in the install folder too;
    // without it the update could never complete.
    if (!throughLink && !rel.empty() && !Fs().IsFolder(platform::ParentFolder(target)))
      (void)CreateFolderTree(platform::ParentFolder(target));
    if (throughLink || !Fs().CopyFile(source, target, &error)) {
      char line[64];
      std::snprintf(line, sizeof line, "copy failed %d", error);
      platform::Debug(line);
      platform::Sys().dialogs->ShowMessage("更新失败，助手文件被占用，请关闭占用重新更新!",
                                           BankProfile.assistantName,
                                           platform::MessageIcon::Exclamation);
      platform::Sys().processExit->Normal(0);
    }
  }
  return true;
}

bool CleanDownloadFolder(const InstallContext& c) { return DeleteFilesBelow(c.downloadDir); }

bool DeleteFilesBelow(const std::string& folder) {
  std::vector<platform::FolderEntry> entries;
  if (!Fs().ListFolder(folder, &entries)) return false;
  for (const platform::FolderEntry& e : entries) {
    if (e.kind != platform::EntryKind::Folder) {
      // Files and links alike: a link is deleted itself, never followed.
      Fs().DeleteFile(folder + kSep + e.name);
    } else if (!e.name.empty() && e.name[0] != '.') {
      DeleteFilesBelow(folder + kSep + e.name);
    }
  }
  return true;
}
