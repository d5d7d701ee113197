#include "platform/services.h"

#include <cstdio>
#include <cstdlib>

#include "platform/diagnostics.h"
#include "platform/text.h"

namespace platform {
namespace {

// Messages go to standard error and every question is answered Yes, until
// a front end sets dialogs of its own.
class StderrDialogs : public Dialogs {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon) override {
    std::fprintf(stderr, "%s: %s\n", EscapeControlText(caption).c_str(),
                 EscapeControlText(text).c_str());
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s (yes)\n", EscapeControlText(caption).c_str(),
                 EscapeControlText(text).c_str());
    return true;
  }
};

}  // namespace

Services& Sys() {
  static Services services = [] {
    static StderrDialogs dialogs;
    Services s = NativeServices();
    if (!s.dialogs) s.dialogs = &dialogs;
    return s;
  }();
  return services;
}

void Debug(const std::string& line) { Sys().log->Write(BoundedLogText(line)); }

std::string GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace platform
