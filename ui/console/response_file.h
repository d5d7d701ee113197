// The answers of an unattended installation, read from an INI-style file
// named by DOWNLOADER_RESPONSE_FILE:
//
//   # comment            ; comment
//   [options]            (the only section; optional)
//   folder = /opt/bank/assistant
//   start_menu = yes     (yes/no, true/false, 1/0)
//   desktop = no
//   quick_launch = yes
//   autostart = yes
//
// Every key is optional; a key that is missing keeps the page's default.
#pragma once

#include <map>
#include <optional>
#include <string>

struct ResponseFile {
  std::optional<std::string> folder;
  // Check box id of the options page -> ticked.
  std::map<int, bool> checks;
};

// Reads text (the file's content). False with error naming the line
// ("line 3: unknown key \"x\"") on the first fault.
bool ParseResponseFile(const std::string& text, ResponseFile* out, std::string* error);
// Reads the file at path; an unreadable file is an error too.
bool LoadResponseFile(const std::string& path, ResponseFile* out, std::string* error);
