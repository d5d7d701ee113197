// Includes point down the layers, never up: platform, app, channel, update,
// install, ui, the front ends, then tools and benchmarks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;

namespace {

// The layer of a path below the source folder, or -1 outside the layers.
int LayerOf(const std::string& path, std::string* name) {
  static const std::vector<std::pair<std::string, int>> layers = {
      {"ui/console", 6}, {"ui/qt", 6},   {"platform", 0}, {"app", 1},   {"channel", 2},
      {"update", 3},     {"install", 4}, {"ui", 5},       {"tools", 7}, {"bench", 7},
  };
  for (const auto& [prefix, rank] : layers) {
    if (path == prefix || path.rfind(prefix + "/", 0) == 0) {
      *name = prefix;
      return rank;
    }
  }
  return -1;
}

TEST(Layers, EveryIncludePointsDown) {
  const fs::path top = TEST_SOURCE_DIR;
  const std::regex include(R"re(^\s*#\s*include\s+"([^"]+)")re");
  std::vector<std::string> upward;
  int files = 0;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::end(it); ++it) {
    const std::string rel = fs::relative(it->path(), top).generic_string();
    if (it->is_directory() && (rel.rfind("build", 0) == 0 || rel[0] == '.' || rel == "demo")) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string ext = it->path().extension();
    if (!it->is_regular_file() || (ext != ".cc" && ext != ".h" && ext != ".cpp")) continue;
    std::string me;
    const int mine = LayerOf(rel, &me);
    if (mine < 0) continue;
    ++files;
    std::ifstream in(it->path());
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
      std::smatch m;
      if (!std::regex_search(line, m, include)) continue;
      std::string to;
      const int theirs = LayerOf(m[1], &to);
      // The front ends share the page layer; each may include ui/ itself.
      if (theirs > mine && !(me.rfind("ui/", 0) == 0 && to == "ui"))
        upward.push_back(rel + ":" + std::to_string(n) + " includes " + std::string(m[1]));
    }
  }
  EXPECT_GT(files, 50);
  EXPECT_TRUE(upward.empty()) << [&] {
    std::string all;
    for (const std::string& u : upward) all += u + "\n";
    return all;
  }();
}

// Third-party types stay inside the module that uses them.
TEST(Layers, HeadersKeepLibraryTypesInside) {
  const fs::path top = TEST_SOURCE_DIR;
  const std::regex library(R"(#\s*include\s*<(curl/|pugixml|json/|openssl/|sqlite3|Q[A-Z]))");
  for (const char* dir : {"platform", "app", "channel", "update", "install", "ui"}) {
    for (const auto& e : fs::recursive_directory_iterator(top / dir)) {
      if (e.path().extension() != ".h" || e.path().string().find("/ui/qt/") != std::string::npos)
        continue;
      std::ifstream in(e.path());
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_FALSE(std::regex_search(text, library)) << e.path();
      EXPECT_EQ(text.find("void* curl"), std::string::npos) << e.path();
    }
  }
}

}  // namespace
