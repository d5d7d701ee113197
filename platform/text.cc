#include "platform/text.h"

#include <cstdio>

#include "platform/locations.h"

namespace platform {
namespace {

void AppendEscaped(std::string* out, unsigned char byte) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\x%02x", byte);
  *out += hex;
}

// Length of the valid UTF-8 sequence starting at text[i], 0 when none.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = b(i);
  size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (lead >= 0xF5 || n == 0 || i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  }
  const unsigned char second = b(i + 1);
  // No overlong forms, no surrogates, nothing above U+10FFFF.
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
    return 0;
  return n;
}

}  // namespace

std::string EscapeControlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F) {
        AppendEscaped(&out, c);
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    size_t n = Utf8SequenceLength(text, i);
    // U+0080 to U+009F (C2 80 .. C2 9F) are the C1 controls, CSI among them.
    bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (n == 0 || c1) {
      for (size_t k = 0; k < (n == 0 ? 1 : n); ++k)
        AppendEscaped(&out, static_cast<unsigned char>(text[i + k]));
      i += n == 0 ? 1 : n;
      continue;
    }
    out.append(text, i, n);
    i += n;
  }
  return out;
}

std::string BoundedLogText(const std::string& text) {
  std::string escaped = EscapeControlText(text);
  if (escaped.size() <= kMaxLogLine) return escaped;
  // Cut at a character boundary, so the kept part stays valid UTF-8.
  size_t cut = kMaxLogLine;
  while (cut > 0 && (static_cast<unsigned char>(escaped[cut]) & 0xC0) == 0x80) --cut;
  return escaped.substr(0, cut) + "...[" + std::to_string(text.size()) + " bytes]";
}

std::string ParentFolder(const std::string& path) {
  size_t sep = path.rfind(kPathSep);
  if (sep == std::string::npos) return ".";
  return sep == 0 ? std::string(1, kPathSep) : path.substr(0, sep);
}

}  // namespace platform
