#include "platform/processes.h"

namespace platform {

std::vector<std::string> SplitWindowsCommandLine(const std::string& text) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = text.size();
  for (;;) {
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (text[i] != ' ' && text[i] != '\t'))) {
      if (text[i] == '\\') {
        size_t slashes = 0;
        while (i < n && text[i] == '\\') ++slashes, ++i;
        if (i < n && text[i] == '"') {
          // 2k backslashes and a quote: k backslashes, the quote groups;
          // 2k+1: k backslashes and a literal quote.
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (text[i] == '"') {
        // Two quotes in a quoted part are one literal quote.
        if (quoted && i + 1 < n && text[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += text[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace platform
