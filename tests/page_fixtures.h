// Fakes for driving the page controllers without a front end: one view that
// records what each page asks of it, and a chain of pages that records
// which page is opened next.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/posix/posix_services.h"
#include "ui/get_internet_dlg.h"
#include "ui/option_dlg.h"
#include "ui/progress_dlg.h"

// Every view interface; each call is noted as one line, in order.
class RecordingView : public GetInternetView, public OptionView, public ProgressView {
 public:
  void HidePage() override { events.push_back("hide"); }
  void EndPage(int result) override { events.push_back("end " + std::to_string(result)); }
  void ShowRetry(bool shown) override { events.push_back(shown ? "retry shown" : "retry hidden"); }
  void SetStatus(const std::string& text) override { events.push_back("status " + text); }
  // Runs the worker at once, unless holdWorkers keeps it for later.
  void StartWorker(std::function<void()> fn) override {
    events.push_back("worker");
    if (holdWorkers)
      held.push_back(std::move(fn));
    else
      fn();
  }
  void SetFolderText(const std::string& text) override { events.push_back("folder " + text); }
  bool BrowseForFolder(const std::string& title, std::string* path) override {
    events.push_back("browse " + title);
    if (!browseAnswer) return false;
    *path = *browseAnswer;
    return true;
  }
  void RunOnPageThread(const std::function<void()>& fn) override { fn(); }
  void SetLabel(int id, const std::string& text) override {
    events.push_back("label " + std::to_string(id) + " " + text);
  }
  void SetBar(int id, uint32_t upper, uint32_t pos) override {
    events.push_back("bar " + std::to_string(id) + " " + std::to_string(pos) + "/" +
                     std::to_string(upper));
  }
  void SetCancelCaption(const std::string& text) override { events.push_back("caption " + text); }
  void SetPicture(uint32_t id) override { events.push_back("picture " + std::to_string(id)); }
  void StartTimer(uint32_t ms) override { events.push_back("timer " + std::to_string(ms)); }
  void StopTimer() override { events.push_back("stop timer"); }

  std::vector<std::string> events;
  bool holdWorkers = false;
  std::vector<std::function<void()>> held;
  const std::string* browseAnswer = nullptr;
};

// Notes each page opened: "run install", "run option", "run progress <mode>".
class RecordingPages : public WizardPages {
 public:
  explicit RecordingPages(std::vector<std::string>* events) : events_(events) {}
  void RunInstallPage() override { events_->push_back("run install"); }
  void RunOptionPage() override { events_->push_back("run option"); }
  void RunProgressPage(InstallMode mode) override {
    events_->push_back("run progress " + std::to_string(mode));
  }

 private:
  std::vector<std::string>* events_;
};

// The real file system, with chosen folders reported as removable,
// optical or network drives.
class DriveMapFileSystem : public platform::PosixFileSystem {
 public:
  platform::DriveKind GetDriveKind(const std::string& path) override {
    for (const auto& [prefix, kind] : kinds)
      if (path.rfind(prefix, 0) == 0) return kind;
    return PosixFileSystem::GetDriveKind(path);
  }
  std::map<std::string, platform::DriveKind> kinds;
};
