// The desktop shell: its special folders, shortcuts, and notices of
// folders that appeared.
#pragma once

#include <string>

namespace platform {

enum class SpecialFolder {
  CommonDesktop,   // the desktop of all users
  CommonPrograms,  // the Programs menu of all users
  AppData,         // the current user's application data
  ProgramFiles,    // where programs are installed
};

class Shell {
 public:
  virtual ~Shell() = default;
  // The folder's path; false when the system has none.
  virtual bool GetSpecialFolder(SpecialFolder folder, std::string* path) = 0;
  // Saves a shortcut file at linkPath (a ".lnk" name) that starts target;
  // the system's equivalent may change the extension. True when saved.
  virtual bool SaveShortcut(const std::string& linkPath, const std::string& target) = 0;
  // Tells the shell that a folder appeared, then that its parent changed;
  // returns once the notices are delivered.
  virtual void NotifyFolderCreated(const std::string& folder, const std::string& parent) = 0;
};

}  // namespace platform
