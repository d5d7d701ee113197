// Text helpers shared by every system: showing untrusted text safely, and
// the narrow code page of manifest values.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The text with every control character (C0, DEL, the C1 range) and every
// byte that is not part of valid UTF-8 written as "\xNN", so that text from
// a server can be shown in a terminal or a log without acting on it.
std::string EscapeControlText(const std::string& text);

// Longest diagnostic line kept; longer ones are cut and their length noted.
inline constexpr size_t kMaxLogLine = 4096;
// EscapeControlText, cut at kMaxLogLine bytes with "...[N bytes]" appended
// when the escaped text is longer.
std::string BoundedLogText(const std::string& text);

// A UTF-8 text in the platform's narrow code page (GBK on Windows). Narrow
// strings are UTF-8 here, so this is a check: text that is not valid UTF-8,
// or has no GBK form, gives an empty text. One implementation per system.
std::string NarrowFromUtf8(const std::string& utf8);

}  // namespace platform
