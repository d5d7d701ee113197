// assistant-standin: the installed assistant's programs in tests and the
// demo, one program installed under the names WebUI_801.exe,
// TolvanePop_801.exe, TolvanePop.exe and uninst_801.exe. What it does
// depends on the name it runs under:
//   plain start   keeps running until told to quit (SIGTERM); the
//                 TolvanePop copies also read the companion's pipe and append
//                 each message, as bytes, to "<name>.received" beside them;
//   "-t"          makes the running copies of the same name that started
//                 before it quit, waits until they have, and ends;
//   uninst_*.exe  removes what the installation registered: its key store
//                 values, its desktop entries and (when it runs from there)
//                 the install folder.
// Every run appends "<pid> start <args> <shown|hidden>" and "<pid> exit" to
// "<name>.log" beside the program; a companion notes "listening" once it
// reads the pipe.
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/assistant_handoff.h"
#include "install/process_control.h"
#include "install/registration.h"
#include "install/shortcuts.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> quit{false};
std::string self, folder, name;

void OnTerm(int) { quit = true; }

void Note(const std::string& line) {
  std::ofstream(folder + "/" + name + ".log", std::ios::app)
      << getpid() << " " << line << std::endl;
}

// The time a process started, in clock ticks since boot (0 when unknown).
unsigned long long StartTime(int64_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  for (int i = 3; i <= 22 && rest >> field; ++i) {
    if (i == 22) return std::stoull(field);
  }
  return 0;
}

int QuitOthers() {
  platform::Processes& procs = *platform::Sys().processes;
  const unsigned long long mine = StartTime(getpid());
  int stopped = 0;
  for (const platform::ProcessEntry& p : procs.List()) {
    if (p.id == getpid() || strcasecmp(p.exeName.c_str(), name.c_str()) != 0) continue;
    // Only copies that were running before this request: one started right
    // after it is not meant.
    if (StartTime(p.id) >= mine) continue;
    if (kill(static_cast<pid_t>(p.id), SIGTERM) != 0) continue;
    procs.WaitForExit(p.id);
    ++stopped;
  }
  Note("stopped " + std::to_string(stopped));
  return 0;
}

void Listen() {
  std::unique_ptr<platform::PipeReader> pipe = platform::Sys().ipc->ServePipe(kPopPipeName);
  Note(pipe ? "listening" : "cannot serve the pipe");
  char buffer[4096];
  while (!quit) {
    long long n = pipe ? pipe->Read(buffer, sizeof buffer, 200) : (usleep(200000), 0);
    if (n > 0) {
      std::ofstream(folder + "/" + name + ".received", std::ios::app | std::ios::binary)
          .write(buffer, n);
    }
  }
}

void RemoveValues(const std::string& key, platform::KeyView view,
                  std::initializer_list<const char*> values) {
  if (auto k = platform::Sys().keyStore->OpenKey(key, view)) {
    for (const char* v : values) k->DeleteValue(v);
  }
}

int Uninstall() {
  LoadBankProfile();
  std::string installDir;
  if (auto k = platform::Sys().keyStore->OpenKey(
          AssistantSettingsKey(BankProfile.allianceCode, BankProfile.bankId),
          platform::KeyView::Default))
    k->GetString("Path", kValueBufferSize, &installDir);
  // The assistant's programs first, so that nothing of it keeps running.
  for (const std::string& program : {RunSettings.webUiExeName, PerBankPopName(BankProfile.bankId),
                                     std::string("TolvanePop.exe")})
    KillProcessByName(program);
  RemoveValues(AssistantSettingsKey(BankProfile.allianceCode, BankProfile.bankId),
               platform::KeyView::Default, {"Version", "Path", "BankID"});
  RemoveValues(UninstallKey(), platform::KeyView::Default,
               {"UninstallString", "Publisher", "DisplayName", "DisplayVersion", "DisplayIcon"});
  RemoveValues(kRunKey, platform::KeyView::Wow64_64, {BankProfile.assistantName.c_str()});
  platform::Shell& shell = *platform::Sys().shell;
  std::string desktop, programs, appData;
  const std::string link = BankProfile.assistantName + ".desktop";
  std::error_code ec;
  if (shell.GetSpecialFolder(platform::SpecialFolder::CommonDesktop, &desktop))
    fs::remove(desktop + "/" + link, ec);
  if (shell.GetSpecialFolder(platform::SpecialFolder::AppData, &appData))
    fs::remove(QuickLaunchFolder(appData) + "/" + link, ec);
  if (shell.GetSpecialFolder(platform::SpecialFolder::CommonPrograms, &programs)) {
    const std::string menu = programs + "/" + BankProfile.installSubdir;
    fs::remove(menu + "/" + link, ec);
    fs::remove(menu + "/" + BankProfile.assistantName + "卸载程序.desktop", ec);
    fs::remove(menu, ec);  // only when empty
    fs::remove(fs::path(menu).parent_path(), ec);
  }
  // The install folder only when this uninstaller runs from it: a value in
  // the key store alone never makes it delete a folder.
  std::error_code same;
  if (!installDir.empty() && fs::equivalent(installDir, folder, same)) {
    Note("removing " + installDir);
    fs::remove_all(installDir, ec);
    return 0;  // its log went with the folder
  }
  Note("exit");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  self = platform::Sys().processes->OwnExecutablePath();
  if (self.empty()) self = argv[0];
  folder = fs::path(self).parent_path();
  name = fs::path(self).filename();
  std::string args;
  for (int i = 1; i < argc; ++i) args += std::string(i > 1 ? " " : "") + argv[i];
  Note("start [" + args + "] " + platform::GetEnv("DOWNLOADER_SHOW"));
  if (argc > 1 && std::string(argv[1]) == "-t") {
    int rc = QuitOthers();
    Note("exit");
    return rc;
  }
  if (strncasecmp(name.c_str(), "uninst", 6) == 0) return Uninstall();
  struct sigaction sa {};
  sa.sa_handler = OnTerm;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  if (strncasecmp(name.c_str(), "TolvanePop", 10) == 0) {
    Listen();
  } else {
    while (!quit) pause();
  }
  Note("exit");
  return 0;
}
