#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/posix_services.h"

namespace platform {

bool PosixFileSystem::IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::Exists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool PosixFileSystem::CreateFolder(const std::string& path, int* error) {
  if (mkdir(path.c_str(), 0755) == 0) return true;
  if (error) *error = errno;
  return false;
}

bool PosixFileSystem::DeleteFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return unlink(path.c_str()) == 0;
}

bool PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  // Like the original's move: an existing target is not replaced.
  if (Exists(to)) return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

bool PosixFileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  entries->clear();
  while (dirent* e = readdir(dir)) {
    FolderEntry entry{e->d_name, false};
    if (e->d_type == DT_DIR) {
      entry.isFolder = true;
    } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      entry.isFolder = IsFolder(path + "/" + entry.name);
    }
    entries->push_back(entry);
  }
  closedir(dir);
  return true;
}

bool PosixFileSystem::CopyFile(const std::string& from, const std::string& to, int* error) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    if (error) *error = errno;
    return false;
  }
  struct stat st {};
  fstat(in, &st);
  // Written in place, as the original copy does: a program that is running
  // from the target cannot be overwritten (ETXTBSY).
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) {
    if (error) *error = errno;
    close(in);
    return false;
  }
  bool ok = true;
  off_t offset = 0;
  while (offset < st.st_size) {
    ssize_t n = sendfile(out, in, &offset, static_cast<size_t>(st.st_size - offset));
    if (n <= 0) {
      if (error) *error = n < 0 ? errno : EIO;
      ok = false;
      break;
    }
  }
  if (close(out) != 0 && ok) {
    if (error) *error = errno;
    ok = false;
  }
  close(in);
  return ok;
}

}  // namespace platform
