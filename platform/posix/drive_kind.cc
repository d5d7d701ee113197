// The kind of drive a folder lies on. Linux has no drive types: the file
// system's type tells network, optical and memory volumes apart, and the
// block device's "removable" attribute in sysfs tells removable media.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <string>

#include "platform/posix/posix_services.h"

namespace platform {
namespace {

// statfs f_type values (linux/magic.h and the file systems' own headers).
constexpr long kNfs = 0x6969;
constexpr long kSmb = 0x517B;
constexpr long kCifs = 0xFF534D42;
constexpr long kSmb2 = 0xFE534D42;
constexpr long kCoda = 0x73757245;
constexpr long kAfs = 0x5346414F;
constexpr long kIso9660 = 0x9660;
constexpr long kUdf = 0x15013346;
constexpr long kTmpfs = 0x01021994;
constexpr long kRamfs = 0x858458F6;

bool ReadFlag(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "re");
  if (!f) return false;
  int c = std::fgetc(f);
  std::fclose(f);
  return c == '1';
}

// Whether the block device at its sysfs folder, the disk it is a partition
// of, or a device it is built on (dm-crypt, LVM: its "slaves") has removable
// media. name is the first such device's name ("sr0", "sdb1").
bool RemovableSysfsDevice(const std::string& device, std::string* name, int depth) {
  *name = device.substr(device.rfind('/') + 1);
  if (ReadFlag(device + "/removable") || ReadFlag(ParentFolder(device) + "/removable")) return true;
  if (depth > 4) return false;
  DIR* slaves = opendir((device + "/slaves").c_str());
  if (!slaves) return false;
  bool removable = false;
  while (dirent* e = readdir(slaves)) {
    if (e->d_name[0] == '.') continue;
    char real[4096];
    std::string link = device + "/slaves/" + e->d_name;
    if (realpath(link.c_str(), real) && RemovableSysfsDevice(real, name, depth + 1)) {
      removable = true;
      break;
    }
  }
  closedir(slaves);
  return removable;
}

bool RemovableDevice(dev_t dev, std::string* name, std::string* backingFile) {
  char link[64];
  std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u", major(dev), minor(dev));
  char real[4096];
  if (!realpath(link, real)) return false;
  std::string device = real;
  // A loop device lies where its backing file lies.
  FILE* f = std::fopen((device + "/loop/backing_file").c_str(), "re");
  if (f) {
    char path[4096];
    if (std::fgets(path, sizeof path, f)) {
      *backingFile = path;
      while (!backingFile->empty() && backingFile->back() == '\n') backingFile->pop_back();
    }
    std::fclose(f);
  }
  return RemovableSysfsDevice(device, name, 0);
}

}  // namespace

DriveKind PosixFileSystem::GetDriveKind(const std::string& path) {
  if (path.empty() || path[0] != '/') return DriveKind::NoRoot;
  // A folder that is yet to be made lies on the volume of its nearest
  // existing parent.
  std::string probe = path;
  struct stat st {};
  while (stat(probe.c_str(), &st) != 0) {
    if (probe == "/") return DriveKind::NoRoot;
    probe = ParentFolder(probe);
  }
  struct statfs fs {};
  if (statfs(probe.c_str(), &fs) != 0) return DriveKind::Unknown;
  switch (static_cast<long>(fs.f_type)) {
    case kNfs:
    case kSmb:
    case kCifs:
    case kSmb2:
    case kCoda:
    case kAfs:
      return DriveKind::Remote;
    case kIso9660:
    case kUdf:
      return DriveKind::Optical;
    case kTmpfs:
    case kRamfs:
      return DriveKind::RamDisk;
    default:
      break;
  }
  std::string device, backingFile;
  if (RemovableDevice(st.st_dev, &device, &backingFile))
    return device.rfind("sr", 0) == 0 ? DriveKind::Optical : DriveKind::Removable;
  if (!backingFile.empty() && backingFile[0] == '/' && backingFile != path) {
    DriveKind backing = GetDriveKind(backingFile);
    if (backing != DriveKind::NoRoot) return backing;
  }
  return DriveKind::Fixed;
}

}  // namespace platform
