#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // Nothing a test does may touch the real system's folders.
  if (!std::getenv("DOWNLOADER_ROOT")) {
    char root[] = "/tmp/downloader-tests-XXXXXX";
    if (mkdtemp(root)) setenv("DOWNLOADER_ROOT", root, 1);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
