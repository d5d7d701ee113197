#include "install/shortcuts.h"

#include "app/progress_sink.h"
#include "app/settings.h"
#include "install/file_deployment.h"
#include "platform/platform.h"

namespace {

const std::string kSep(1, platform::kPathSep);
constexpr size_t kMaxPath = 260;

platform::Shell& Sh() { return *platform::Sys().shell; }

}  // namespace

std::string AssistantLinkName() { return BankProfile.assistantName + ".lnk"; }

std::string QuickLaunchFolder(const std::string& appData) {
  return appData + kSep + "Microsoft" + kSep + "Internet Explorer" + kSep + "Quick Launch";
}

bool CreateShortcut(const std::string& target, const std::string& folder,
                    const std::string& linkFileName) {
  const std::string path = folder + kSep + linkFileName;
  if (path.size() >= kMaxPath) return false;
  return Sh().SaveShortcut(path, target);
}

void NotifyShellFolderCreated(const std::string& folder) {
  // The parent: cut at the last separator (a trailing one alone is cut).
  std::string parent = folder;
  if (!parent.empty() && parent.back() == platform::kPathSep) {
    parent.pop_back();
  } else {
    size_t sep = parent.rfind(platform::kPathSep);
    parent = sep == std::string::npos ? std::string() : parent.substr(0, sep);
  }
  Sh().NotifyFolderCreated(folder, parent);
}

void CreateShortcuts(ProgressSink* sink) {
  const std::string target = RunSettings.installDir + kSep + RunSettings.webUiExeName;
  const std::string link = AssistantLinkName();
  std::string folder;
  // A shortcut that cannot be made is simply missing.
  if (createDesktopShortcut) {
    if (sink) sink->SetStatusText("创建桌面快捷方式");
    if (Sh().GetSpecialFolder(platform::SpecialFolder::CommonDesktop, &folder))
      (void)CreateShortcut(target, folder, link);
  }
  if (createStartMenuShortcut) {
    std::string programs;
    if (!Sh().GetSpecialFolder(platform::SpecialFolder::CommonPrograms, &programs))
      programs.clear();
    const std::string menu = programs + kSep + BankProfile.installSubdir;
    (void)CreateFolderTree(menu);
    (void)CreateShortcut(target, menu, link);
    (void)CreateShortcut(RunSettings.installDir + kSep + RunSettings.uninstallerExeName, menu,
                         BankProfile.assistantName + "卸载程序.lnk");
    NotifyShellFolderCreated(menu);
  }
  if (createQuickLaunchShortcut) {
    if (sink) sink->SetStatusText("创建快速启动选项");
    if (Sh().GetSpecialFolder(platform::SpecialFolder::AppData, &folder))
      (void)CreateShortcut(target, QuickLaunchFolder(folder), link);
  }
}
