// Files and folders. Operations that fail report the system's error code
// where they take an `error` argument. No operation follows a link that a
// listing reports: a link is an entry of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class EntryKind { File, Folder, Link, Other };

// The kind of drive a path lies on, as GetDriveType tells on Windows.
enum class DriveKind { NoRoot, Removable, Fixed, Remote, Optical, RamDisk, Unknown };

// One entry of a folder listing.
struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::File;
  bool isFolder() const { return kind == EntryKind::Folder; }
};

// A file open for reading.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Bytes read into data (0 at the end), or -1 on an error.
  virtual long long Read(void* data, size_t size) = 0;
};

// A new file being written. Dropped without Close, it is closed and removed.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool Write(const void* data, size_t size, int* error) = 0;
  // Flushes and closes; false when the bytes may not all be on disk.
  virtual bool Close(int* error) = 0;
};

// A lock on a file, held until the object goes (or its process ends).
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // A folder, or a link to one.
  virtual bool IsFolder(const std::string& path) = 0;
  // A symbolic link (whatever it points to).
  virtual bool IsLink(const std::string& path) = 0;
  // True for any existing file or folder (a link to nothing counts too).
  virtual bool Exists(const std::string& path) = 0;
  // Creates one folder (not its parents).
  virtual bool CreateFolder(const std::string& path, int* error) = 0;
  // Removes a folder that is empty.
  virtual bool RemoveEmptyFolder(const std::string& path) = 0;
  // Deletes a file or a link (never what a link points to).
  virtual bool DeleteFile(const std::string& path) = 0;
  // Renames; like MoveFile on Windows an existing target is not replaced.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // Renames over an existing target in one step.
  virtual bool ReplaceFile(const std::string& from, const std::string& to, int* error) = 0;
  // The entries of a folder, "." and ".." included as the system lists
  // them; links are reported as links. False when it cannot be listed.
  virtual bool ListFolder(const std::string& path, std::vector<FolderEntry>* entries) = 0;
  // Copies a file over an existing one, like CopyFile on Windows: a target
  // that is a running program cannot be replaced. The new bytes are written
  // beside the target and take its name only when complete, so a failed
  // copy leaves the old file whole.
  virtual bool CopyFile(const std::string& from, const std::string& to, int* error) = 0;
  // Opens a regular file for reading; null when it cannot be opened.
  virtual std::unique_ptr<InputFile> OpenForReading(const std::string& path) = 0;
  // Reads a whole regular file of at most maxBytes. False, with the reason,
  // for anything else (missing, a folder, a device or pipe, too large);
  // never blocks on a pipe.
  virtual bool ReadSmallFile(const std::string& path, size_t maxBytes, std::string* content,
                             std::string* why) = 0;
  // Creates a file that must not exist yet; links are not followed. An
  // executable file gets the permissions of a program.
  virtual std::unique_ptr<OutputFile> CreateNewFile(const std::string& path, bool executable,
                                                    int* error) = 0;
  // Takes an exclusive lock on the file (created when missing) without
  // waiting; null when another process holds it.
  virtual std::unique_ptr<FileLock> TryLockFile(const std::string& path) = 0;
  // True when both existing paths lie on one volume, so a rename between
  // them needs no copy.
  virtual bool SameVolume(const std::string& a, const std::string& b) = 0;
  // The kind of volume that holds path, or its nearest existing parent
  // folder when path does not exist yet. A path that does not start at the
  // root is NoRoot.
  virtual DriveKind GetDriveKind(const std::string& path) = 0;
};

}  // namespace platform
