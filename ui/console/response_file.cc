#include "ui/console/response_file.h"

#include "platform/platform.h"
#include "ui/option_dlg.h"

namespace {

constexpr size_t kMaxResponseFile = 64 * 1024;
// An error quotes the file: at most this much of it.
constexpr size_t kMaxErrorText = 200;

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool ReadBool(const std::string& v, bool* out) {
  if (v == "1" || v == "yes" || v == "true") {
    *out = true;
    return true;
  }
  if (v == "0" || v == "no" || v == "false") {
    *out = false;
    return true;
  }
  return false;
}

int CheckBoxOf(const std::string& key) {
  if (key == "start_menu") return COptionDlg::kStartMenu;
  if (key == "desktop") return COptionDlg::kDesktop;
  if (key == "quick_launch") return COptionDlg::kQuickLaunch;
  if (key == "autostart") return COptionDlg::kAutoStart;
  return 0;
}

}  // namespace

bool ParseResponseFile(const std::string& text, ResponseFile* out, std::string* error) {
  *out = ResponseFile{};
  // A byte-order mark, as some editors write, is not part of the first line.
  size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    auto fail = [&](const std::string& why) {
      *error = "line " + std::to_string(number) + ": " + why;
      if (error->size() > kMaxErrorText) error->resize(kMaxErrorText);
      return false;
    };
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line != "[options]") return fail("unknown section " + line + " (only [options])");
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) return fail("expected key = value");
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    if (key == "folder") {
      if (value.empty()) return fail("folder is empty");
      out->folder = value;
    } else if (int id = CheckBoxOf(key)) {
      bool on = false;
      if (!ReadBool(value, &on))
        return fail("bad value \"" + value + "\" for " + key + " (yes or no)");
      out->checks[id] = on;
    } else {
      return fail("unknown key \"" + key +
                  "\" (folder, start_menu, desktop, quick_launch, autostart)");
    }
  }
  return true;
}

bool LoadResponseFile(const std::string& path, ResponseFile* out, std::string* error) {
  std::string content, why;
  if (!platform::Sys().fileSystem->ReadSmallFile(path, kMaxResponseFile, &content, &why)) {
    *error = "cannot read it: " + why;
    return false;
  }
  return ParseResponseFile(content, out, error);
}
