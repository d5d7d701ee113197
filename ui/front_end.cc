#include "ui/front_end.h"

#include <cstdio>

namespace {

class StderrFrontEnd : public FrontEnd {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s (yes)\n", caption.c_str(), text.c_str());
    return true;
  }
  void RunVersionQueryPage(CDownloaderApp&) override {}
};

FrontEnd* current = nullptr;

}  // namespace

FrontEnd& TheFrontEnd() {
  static StderrFrontEnd fallback;
  return current ? *current : fallback;
}

void SetFrontEnd(FrontEnd* frontEnd) { current = frontEnd; }
