#include "install/process_control.h"

#include <strings.h>

#include "platform/platform.h"

namespace {

platform::Processes& Procs() { return *platform::Sys().processes; }

bool SameName(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// -9 as the 32-bit value the system takes.
constexpr uint32_t kKilledExitCode = 0xFFFFFFF7u;

}  // namespace

int64_t FindProcessByName(const std::string& name) {
  for (const platform::ProcessEntry& p : Procs().List()) {
    if (SameName(p.exeName, name)) return p.id;
  }
  return 0;
}

void KillProcessByName(const std::string& name) {
  int64_t id = FindProcessByName(name);
  if (id == 0) return;
  if (Procs().Terminate(id, 0)) Procs().WaitForExit(id);
}

bool TerminateProcessByName(const std::string& name) {
  int64_t id = FindProcessByName(name);
  if (id != 0) (void)Procs().Terminate(id, kKilledExitCode);
  return true;
}

bool FindBrowserProcess(int64_t* id) {
  // The listed name is lower-cased and compared with the browser's name.
  *id = FindProcessByName(kBrowserExeName);
  return *id != 0;
}

bool KillBrowserProcess(int64_t id) {
  if (id == 0 && !FindBrowserProcess(&id)) return true;
  (void)Procs().Terminate(id, kKilledExitCode);
  return true;
}

bool ConfirmCloseBrowser(const std::string& caption) {
  int64_t id = 0;
  if (!FindBrowserProcess(&id)) return true;
  if (!platform::Sys().dialogs->AskYesNo("安装过程中需关闭IE浏览器，是否继续？", caption))
    return false;
  KillBrowserProcess(id);
  return true;
}
