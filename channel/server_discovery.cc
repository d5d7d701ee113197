#include "channel/server_discovery.h"

#include <fstream>
#include <string>

#include "app/settings.h"

namespace {

constexpr const char* kDefaultRequestPath = "/assist/server?reqtype=1&data=";

// Reads one line; false when the end of the file comes before any character.
bool ReadLine(std::ifstream& in, std::string* line) {
  if (!std::getline(in, *line)) return false;
  // Text mode on the original platform drops the carriage return of CRLF.
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

}  // namespace

bool DiscoverServer() {
  std::ifstream in("serverip.dat", std::ios::binary);
  if (!in.is_open()) {
    g_downloadpath.path = kDefaultRequestPath;
    g_downloadpath.port.clear();
    return true;
  }
  std::string ip, port, path;
  if (!ReadLine(in, &ip) || !ReadLine(in, &port) || !ReadLine(in, &path)) return false;
  g_downloadpath.ip = ip;
  g_downloadpath.path = path;
  g_downloadpath.port = port;
  return true;
}
