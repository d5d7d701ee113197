// Version numbers of the assistant: four unsigned components.
#pragma once

#include <array>
#include <cstdint>
#include <string>

using VersionNumber = std::array<uint32_t, 4>;

// Reads a decimal integer the way the C library's atoi does: leading blanks
// and a sign are accepted, reading stops at the first non-digit, no digits give 0.
int32_t ReadDecimal(const std::string& text);

// Dotted ("1.0.12.3") or positional ("21010001") version text. A text of
// fewer than four characters gives four zero components.
VersionNumber ParseVersion(const std::string& text);
