#include "tools/release_commands.h"

void AddReleaseCommands(CLI::App&, std::string&, ReleaseCommands&) {}

int RunReleaseCommands(const std::string&, const ReleaseCommands&) { return 1; }
