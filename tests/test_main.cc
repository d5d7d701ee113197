#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  // Nothing a test does may touch the real system's folders.
  std::string createdRoot;
  if (!std::getenv("DOWNLOADER_ROOT")) {
    char root[] = "/tmp/downloader-tests-XXXXXX";
    if (mkdtemp(root)) {
      setenv("DOWNLOADER_ROOT", root, 1);
      createdRoot = root;
    }
  }
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  std::error_code ec;
  if (!createdRoot.empty()) std::filesystem::remove_all(createdRoot, ec);
  return result;
}
