// The version query: asks the assistant server for the newest version, the
// download location and the update instruction.
#pragma once

#include <string>

enum class VersionOutcome { NoAnswer, CannotOpen, NotJson, Answer };

// The answer's members as text; an absent member is empty.
struct VersionAnswer {
  std::string v;
  std::string url;
  std::string update;
};

// The request's plaintext: the bank id in lower-case hexadecimal ("801").
std::string VersionRequestText(unsigned bankId);

// One exchange. With diagnostics on it writes the "Data:(" and "Data_D:("
// lines. On Answer, *answer holds the members.
VersionOutcome VersionExchange(bool diagnostics, VersionAnswer* answer);

// Reads an opened reply: NotJson unless it is a JSON object whose members
// "v", "url" and "update" are absent, strings or numbers.
VersionOutcome ParseVersionAnswer(const std::string& text, VersionAnswer* answer);
