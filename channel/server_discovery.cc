#include "channel/server_discovery.h"

#include <string>

#include "app/settings.h"
#include "platform/platform.h"

namespace {

constexpr const char* kDefaultRequestPath = "/assist/server?reqtype=1&data=";
// Three address lines fit easily; anything larger is not an override file.
constexpr size_t kMaxOverrideFile = 64 * 1024;

// Reads the next line from text at *pos; false when the end comes before
// any character. The line break is not kept, and the carriage return of a
// CRLF line end is dropped as text mode does on Windows.
bool ReadLine(const std::string& text, size_t* pos, std::string* line) {
  if (*pos >= text.size()) return false;
  size_t end = text.find('\n', *pos);
  if (end == std::string::npos) end = text.size();
  *line = text.substr(*pos, end - *pos);
  *pos = end + 1;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

}  // namespace

bool DiscoverServer() {
  std::string text, why;
  if (!platform::Sys().fileSystem->ReadSmallFile("serverip.dat", kMaxOverrideFile, &text, &why)) {
    // Only a regular file of sane size overrides the address; a folder, a
    // pipe or a device of that name is passed over like a missing file.
    if (why != "cannot be opened") platform::Debug("serverip.dat ignored: it " + why);
    g_downloadpath.path = kDefaultRequestPath;
    g_downloadpath.port.clear();
    return true;
  }
  std::string ip, port, path;
  size_t pos = 0;
  if (!ReadLine(text, &pos, &ip) || !ReadLine(text, &pos, &port) || !ReadLine(text, &pos, &path))
    return false;
  g_downloadpath.ip = ip;
  g_downloadpath.path = path;
  g_downloadpath.port = port;
  return true;
}
