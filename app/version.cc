#include "app/version.h"

#include <cctype>

int32_t ReadDecimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Wraps around in 32 bits, as atoi does on Windows, instead of overflowing.
  uint32_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

VersionNumber ParseVersion(const std::string& text) {
  VersionNumber parts{0, 0, 0, 0};
  if (text.size() < 4) return parts;
  auto number = [](const std::string& piece) { return static_cast<uint32_t>(ReadDecimal(piece)); };
  if (text.find('.') == std::string::npos) {
    parts[0] = number(text.substr(0, 1));
    parts[1] = number(text.substr(1, 1));
    parts[2] = number(text.substr(2, 2));
    parts[3] = number(text.size() > 4 ? text.substr(4) : std::string());
    return parts;
  }
  // Each component runs from its start to the next dot; after a component
  // that ran to the end, the next one starts again at the beginning.
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = text.find('.', start);
    parts[i] =
        number(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    start = dot == std::string::npos ? 0 : dot + 1;
  }
  return parts;
}
