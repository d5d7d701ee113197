// The manifest and download subcommands of release-tool.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

struct ReleaseCommands {
  CLI::App* publish = nullptr;
  CLI::App* verify = nullptr;
  CLI::App* digest = nullptr;
  CLI::App* fetch = nullptr;
  CLI::App* reg = nullptr;
  std::string folder;
  std::string bank = "801";
  std::string file;
  std::string url;
  std::string key;
  std::string valueName;
  bool view64 = false;
};

void AddReleaseCommands(CLI::App& app, ReleaseCommands& commands);
// Runs whichever of them was given; the exit code.
int RunReleaseCommands(const std::string& keys, const ReleaseCommands& commands);
