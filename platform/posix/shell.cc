// Shortcuts are freedesktop desktop entries with the link's base name.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix/posix_services.h"

namespace platform {
namespace {

// A string as one argument of a desktop entry's Exec key: quoted, with the
// characters the quoting reserves escaped, then escaped again as a string
// value, and "%" doubled so it is not read as a field code.
std::string ExecArgument(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (char c : quoted) {
    if (c == '\\') {
      value += "\\\\";
    } else if (c == '%') {
      value += "%%";
    } else if (c == '\n') {
      value += "\\n";
    } else {
      value += c;
    }
  }
  return value;
}

std::string EntryValue(const std::string& text) {
  std::string value;
  for (char c : text) {
    if (c == '\\') {
      value += "\\\\";
    } else if (c == '\n') {
      value += "\\n";
    } else {
      value += c;
    }
  }
  return value;
}

// The path of a program in PATH, or empty.
std::string FindInPath(const std::string& name) {
  std::string path = GetEnv("PATH");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string candidate = path.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace

bool PosixShell::GetSpecialFolder(SpecialFolder folder, std::string* path) {
  const std::string root = GetEnv("DOWNLOADER_ROOT");
  const std::string home = GetEnv("HOME").empty() ? "/root" : GetEnv("HOME");
  switch (folder) {
    case SpecialFolder::CommonDesktop:
      // Linux keeps no desktop for all users; the desktop folder stands in.
      *path = root.empty() ? home + "/Desktop" : root + "/desktop";
      break;
    case SpecialFolder::CommonPrograms:
      *path = root.empty() ? "/usr/local/share/applications" : root + "/applications";
      break;
    case SpecialFolder::AppData:
      *path = Sys().locations->AppDataDir();
      break;
    case SpecialFolder::ProgramFiles:
      *path = Sys().locations->ProgramFilesDir();
      break;
  }
  // These folders always exist on Windows; here they are made on first use.
  return !path->empty() && MakeFolders(*path, 0755);
}

bool PosixShell::SaveShortcut(const std::string& linkPath, const std::string& target) {
  std::string path = linkPath;
  const std::string lnk = ".lnk";
  if (path.size() > lnk.size() && path.compare(path.size() - lnk.size(), lnk.size(), lnk) == 0)
    path.resize(path.size() - lnk.size());
  size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  path += ".desktop";
  const std::string text = "[Desktop Entry]\nType=Application\nName=" + EntryValue(name) +
                           "\nExec=" + ExecArgument(target) + "\n";
  // Written beside and renamed into place: an existing link is replaced
  // whole. The folder is not created; without it nothing is saved.
  const std::string temp = path + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0755);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = close(fd) == 0 && ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

void PosixShell::NotifyFolderCreated(const std::string&, const std::string&) {
  // The menus read a cache of the desktop entries; refresh it where the
  // tool that keeps it is installed, and wait for it, as SHCNF_FLUSH does.
  std::string tool = FindInPath("update-desktop-database");
  std::string programs;
  if (tool.empty() || !GetSpecialFolder(SpecialFolder::CommonPrograms, &programs)) return;
  Sys().processes->Start(tool, "-q \"" + programs + "\"", ShowMode::Hidden, true);
}

}  // namespace platform
