// The wizard's pages in the terminal: the version query, the welcome page,
// the options page and the update prompt, each over its page controller.
#include <atomic>
#include <chrono>
#include <thread>

#include "app/settings.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "ui/console/console_front_end.h"
#include "ui/get_internet_dlg.h"
#include "ui/install_dlg.h"
#include "ui/option_dlg.h"
#include "ui/page_common.h"
#include "ui/update_dlg.h"

namespace {

using Print = void (*)(const std::string&);
constexpr Print Out = &ConsoleFrontEnd::Print;

// The quit broadcast reaches every page while it is shown.
uint32_t SingleMsgId() { return TheApp() ? TheApp()->singleMsgId : 0; }

void Title(const std::string& page) { Out("\n== " + windowTitle + " · " + page + " ==\n"); }

// What a page's loop waits on. Worker threads that may outlive the page
// hold it shared, with the input they wake.
struct PageFlags {
  std::atomic<bool> hidden{false};
  std::atomic<bool> ended{false};
  std::atomic<bool> retry{false};
  std::atomic<bool> working{false};
};

// Hiding and ending, shared by the console pages. A call that ends the page
// touches nothing of the page after the flag is set: the page's loop may
// return and destroy it at once.
class ConsolePageView : public virtual PageView {
 public:
  explicit ConsolePageView(ConsoleFrontEnd& fe) : fe_(fe), input_(fe.input()) {}
  void HidePage() override { Set(&PageFlags::hidden); }
  void EndPage(int) override { Set(&PageFlags::ended); }
  std::shared_ptr<PageFlags> flags = std::make_shared<PageFlags>();

 protected:
  void Set(std::atomic<bool> PageFlags::*flag, bool value = true) {
    auto f = flags;
    auto input = input_;
    (*f).*flag = value;
    input->Wake();
  }
  ConsoleFrontEnd& fe_;
  std::shared_ptr<ConsoleFrontEnd::Input> input_;
};

class ConsoleQueryView : public ConsolePageView, public GetInternetView {
 public:
  using ConsolePageView::ConsolePageView;
  // The answer came: what the server said, before the wizard's pages.
  void HidePage() override {
    Out("服务器版本: " + RunSettings.serverVersion + "\n下载位置: " + RunSettings.downloadUrl +
        "\n");
    ConsolePageView::HidePage();
  }
  void ShowRetry(bool shown) override { Set(&PageFlags::retry, shown); }
  void SetStatus(const std::string& text) override { Out(text + "\n"); }
  void StartWorker(std::function<void()> fn) override {
    flags->working = true;
    std::thread([f = flags, input = input_, fn = std::move(fn)] {
      fn();
      f->working = false;
      input->Wake();
    }).detach();
  }
};

class ConsoleOptionView : public ConsolePageView, public OptionView {
 public:
  using ConsolePageView::ConsolePageView;
  void SetFolderText(const std::string&) override {}
  bool BrowseForFolder(const std::string& title, std::string* path) override {
    Out(title + " (输入文件夹，空行取消) ");
    std::string line;
    if (!fe_.WaitLine(&line, [] { return false; }) || line.empty()) return false;
    *path = line;
    return true;
  }
};

}  // namespace

void ConsoleFrontEnd::RunVersionQueryPage() {
  PageBroadcastGuard broadcast(SingleMsgId());
  ConsoleQueryView view(*this);
  CGetInternetDlg page(view, *this);
  Title("获取版本信息");
  auto menu = [&] { Out(std::string(view.flags->retry ? "1) 重试  " : "") + "2) 取消\n"); };
  page.OnInitDialog();
  for (;;) {
    // While the worker queries, only Cancel can be pressed.
    auto queryOver = [&] {
      return view.flags->ended || view.flags->hidden || !view.flags->working;
    };
    if (!unattended_) menu();
    std::string line;
    while (!queryOver()) {
      if (unattended_ || !WaitLine(&line, queryOver)) {
        WaitUntil(queryOver);  // nobody can type: wait for the outcome
      } else if (line == "2") {
        page.OnCancel();
      }
    }
    if (view.flags->ended || view.flags->hidden) break;

    // The worker ended without an answer.
    if (unattended_) {
      if (page.retryShown()) {
        Out("重试 (剩余 " + std::to_string(page.retriesLeft()) + " 次)\n");
        page.OnRetry();
        continue;
      }
      // Nobody can press Cancel: end instead of waiting on a page that
      // cannot go on.
      Out(page.state() == CGetInternetDlg::State::Stuck ? "服务器的应答无法读取，安装无法继续\n"
                                                        : "服务器没响应，安装无法继续\n");
      exitCode_ = kExitNoVersionAnswer;
      return;
    }
    menu();
    for (;;) {
      if (!WaitLine(&line, [] { return false; })) return;  // input gone: nobody can answer
      if (line == "1" && view.flags->retry) break;
      if (line == "2") page.OnCancel();
      menu();
    }
    page.OnRetry();
  }
  // The wizard runs on the worker; the page ends when it is over.
  WaitUntil([&] { return view.flags->ended.load(); });
}

void ConsoleFrontEnd::RunInstallPage() {
  PageBroadcastGuard broadcast(SingleMsgId());
  ConsolePageView view(*this);
  CInstallDlg page(view, *this);
  Title("欢迎");
  Out("欢迎安装" + BankProfile.assistantName + "。\n");
  if (unattended_) {
    page.OnInstall();
    return;
  }
  std::string line;
  while (!view.flags->ended) {
    Out(std::string("1) ") + CInstallDlg::kInstallButton + "  2) " + CInstallDlg::kCancelButton +
        "\n");
    if (!WaitLine(&line, [] { return false; })) return;
    if (line == "1") page.OnInstall();
    if (line == "2") page.OnCancel();
  }
}

void ConsoleFrontEnd::RunOptionPage() {
  PageBroadcastGuard broadcast(SingleMsgId());
  ConsoleOptionView view(*this);
  COptionDlg page(view, *this);
  page.OnInitDialog();
  if (response_.folder) page.OnFolderEdited(*response_.folder);
  for (const auto& [id, on] : response_.checks) page.OnCheckClicked(id, on);

  auto box = [&](int id) { return std::string(page.checked(id) ? "[x] " : "[ ] "); };
  auto show = [&] {
    Title("安装选项");
    std::string text = page.heading() + "\n";
    text += "  1) " + box(COptionDlg::kStartMenu) + "我的开始菜单程序文件夹\n";
    text += "  2) " + box(COptionDlg::kDesktop) + "我的桌面\n";
    text += "目标文件夹: " + page.folderText() + "\n";
    text += "  3) 修改目标文件夹  4) 浏览..\n";
    text += "5) 下一步  6) 后退  7) 取消\n";
    Out(text);
  };
  show();
  if (unattended_) {
    page.OnNext();
    if (!view.flags->ended) exitCode_ = kExitFolderRefused;
    return;
  }
  std::string line;
  while (!view.flags->ended) {
    if (!WaitLine(&line, [] { return false; })) return;
    if (line == "1") {
      page.OnCheckClicked(COptionDlg::kStartMenu, !page.checked(COptionDlg::kStartMenu));
    } else if (line == "2") {
      page.OnCheckClicked(COptionDlg::kDesktop, !page.checked(COptionDlg::kDesktop));
    } else if (line == "3") {
      Out("目标文件夹: ");
      if (!WaitLine(&line, [] { return false; })) return;
      page.OnFolderEdited(line);
    } else if (line == "4") {
      page.OnBrowse();
    } else if (line == "5") {
      page.OnNext();
    } else if (line == "6") {
      page.OnBack();
    } else if (line == "7") {
      page.OnCancel();
    }
    if (!view.flags->ended) show();
  }
}

void ConsoleFrontEnd::RunUpdatePrompt(int kind) {
  PageBroadcastGuard broadcast(SingleMsgId());
  ConsolePageView view(*this);
  CUpdateDlg page(view, *this, kind);
  Title(kind == 0 ? "新版本" : "重新安装");
  Out(page.question() + "\n");
  if (unattended_) {
    page.OnOK();
    return;
  }
  std::string line;
  while (!view.flags->ended) {
    Out(std::string("1) ") + CUpdateDlg::kOkButton + "  2) " + CUpdateDlg::kCancelButton + "\n");
    if (!WaitLine(&line, [] { return false; })) return;
    if (line == "1") page.OnOK();
    if (line == "2") page.OnCancel();
  }
}
