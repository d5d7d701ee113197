#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/posix/posix_services.h"

namespace platform {
namespace {

void SetError(int* error, int value) {
  if (error) *error = value;
}

class PosixInputFile : public InputFile {
 public:
  explicit PosixInputFile(int fd) : fd_(fd) {}
  ~PosixInputFile() override { close(fd_); }
  long long Read(void* data, size_t size) override {
    for (;;) {
      ssize_t n = read(fd_, data, size);
      if (n >= 0 || errno != EINTR) return n;
    }
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const void* data, size_t size, int* error) {
  const char* p = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    ssize_t n = write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetError(error, n < 0 ? errno : EIO);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

class PosixOutputFile : public OutputFile {
 public:
  PosixOutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) {
      close(fd_);
      unlink(path_.c_str());
    }
  }
  bool Write(const void* data, size_t size, int* error) override {
    return fd_ >= 0 && WriteAll(fd_, data, size, error);
  }
  bool Close(int* error) override {
    int fd = fd_;
    fd_ = -1;
    if (fd < 0 || close(fd) != 0) {
      SetError(error, fd < 0 ? EBADF : errno);
      unlink(path_.c_str());
      return false;
    }
    return true;
  }

 private:
  int fd_;
  std::string path_;
};

class PosixFileLock : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override { close(fd_); }

 private:
  int fd_;
};

// A name for a short-lived file beside `path`; short, so that it fits even
// where the target's own name is near the file system's limit.
std::string SiblingTempName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return ParentFolder(path) + "/.~" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// Copies the bytes of in into the new file out; false with the error.
bool CopyBytes(int in, int out, off_t size, int* error) {
  off_t offset = 0;
  while (offset < size) {
    ssize_t n = sendfile(out, in, &offset, static_cast<size_t>(size - offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetError(error, n < 0 ? errno : EIO);
      return false;
    }
  }
  return true;
}

// Writes the new bytes into a file without a name in the target's folder
// (O_TMPFILE), so that a killed copy leaves nothing behind, and gives it a
// name only when complete. Where the file system has no such files, a named
// temporary file beside the target is used.
bool CopyIntoPlace(int in, off_t size, mode_t mode, const std::string& to, int* error) {
  const std::string temp = SiblingTempName(to);
  int out = open(ParentFolder(to).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  bool named = false;
  if (out < 0) {
    out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    named = true;
  }
  if (out < 0) {
    SetError(error, errno);
    return false;
  }
  fchmod(out, mode);
  bool ok = CopyBytes(in, out, size, error);
  if (ok && !named) {
    std::string self = "/proc/self/fd/" + std::to_string(out);
    ok = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
    if (!ok) SetError(error, errno);
  }
  if (close(out) != 0 && ok) {
    SetError(error, errno);
    ok = false;
  }
  if (ok && rename(temp.c_str(), to.c_str()) != 0) {
    SetError(error, errno);
    ok = false;
  }
  if (!ok && (named || access(temp.c_str(), F_OK) == 0)) unlink(temp.c_str());
  return ok;
}

}  // namespace

bool PosixFileSystem::IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::IsLink(const std::string& path) {
  struct stat st {};
  return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool PosixFileSystem::Exists(const std::string& path) {
  struct stat st {};
  return !path.empty() && lstat(path.c_str(), &st) == 0;
}

bool PosixFileSystem::CreateFolder(const std::string& path, int* error) {
  if (mkdir(path.c_str(), 0755) == 0) return true;
  SetError(error, errno);
  return false;
}

bool PosixFileSystem::RemoveEmptyFolder(const std::string& path) {
  return rmdir(path.c_str()) == 0;
}

bool PosixFileSystem::DeleteFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return unlink(path.c_str()) == 0;
}

bool PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  // As MoveFile does on Windows: an existing target is not replaced.
  if (Exists(to)) return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

bool PosixFileSystem::ReplaceFile(const std::string& from, const std::string& to, int* error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  SetError(error, errno);
  return false;
}

bool PosixFileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  entries->clear();
  while (dirent* e = readdir(dir)) {
    FolderEntry entry{e->d_name, EntryKind::Other};
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st {};
      std::string full = path + "/" + entry.name;
      if (lstat(full.c_str(), &st) == 0) {
        type = S_ISDIR(st.st_mode)   ? DT_DIR
               : S_ISLNK(st.st_mode) ? DT_LNK
               : S_ISREG(st.st_mode) ? DT_REG
                                     : DT_UNKNOWN;
      }
    }
    entry.kind = type == DT_DIR   ? EntryKind::Folder
                 : type == DT_LNK ? EntryKind::Link
                 : type == DT_REG ? EntryKind::File
                                  : EntryKind::Other;
    entries->push_back(entry);
  }
  closedir(dir);
  return true;
}

bool PosixFileSystem::CopyFile(const std::string& from, const std::string& to, int* error) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (in < 0 || fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    SetError(error, in < 0 ? errno : EINVAL);
    if (in >= 0) close(in);
    return false;
  }
  // The target is opened for writing first, as CopyFile does on Windows: a
  // program running from it cannot be replaced (ETXTBSY) and a file we may
  // not write stays. A link there is replaced itself, never written through.
  struct stat old {};
  if (lstat(to.c_str(), &old) == 0 && !S_ISLNK(old.st_mode)) {
    int probe = open(to.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (probe < 0) {
      SetError(error, errno);
      close(in);
      return false;
    }
    close(probe);
  }
  bool ok = CopyIntoPlace(in, st.st_size, st.st_mode & 0777, to, error);
  close(in);
  return ok;
}

std::unique_ptr<InputFile> PosixFileSystem::OpenForReading(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st {};
  if (fd < 0) return nullptr;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::make_unique<PosixInputFile>(fd);
}

bool PosixFileSystem::ReadSmallFile(const std::string& path, size_t maxBytes, std::string* content,
                                    std::string* why) {
  // O_NONBLOCK: opening a pipe must not wait for a writer.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (why) *why = "cannot be opened";
    return false;
  }
  struct stat st {};
  std::string reason;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = "is not a regular file";
  } else if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
    reason = "is larger than " + std::to_string(maxBytes) + " bytes";
  }
  std::string data;
  char block[4096];
  while (reason.empty()) {
    ssize_t n = read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) reason = "cannot be read";
    if (n <= 0) break;
    data.append(block, static_cast<size_t>(n));
    if (data.size() > maxBytes) reason = "is larger than " + std::to_string(maxBytes) + " bytes";
  }
  close(fd);
  if (!reason.empty()) {
    if (why) *why = reason;
    return false;
  }
  *content = std::move(data);
  return true;
}

std::unique_ptr<OutputFile> PosixFileSystem::CreateNewFile(const std::string& path, bool executable,
                                                           int* error) {
  const mode_t mode = executable ? 0755 : 0644;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) {
    SetError(error, errno);
    return nullptr;
  }
  fchmod(fd, mode);
  return std::make_unique<PosixOutputFile>(fd, path);
}

std::unique_ptr<FileLock> PosixFileSystem::TryLockFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFileLock>(fd);
}

bool PosixFileSystem::SameVolume(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

}  // namespace platform
