// Time from start to the first page shown: the Qt downloader's start-up
// (profile, single instance, server address, mode driver, first page with
// its picture) against an empty Qt Widgets program that shows one window.
// Prints both and their ratio (goal: at most 1.5), and for scale the same
// window showing one line of Chinese text.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "bench/bench_util.h"

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string dir = MakeTempFolder();
  setenv("DOWNLOADER_ROOT", (dir + "/root").c_str(), 1);
  // No server: the first page opens before the version query's answer.
  const std::string probe = BENCH_BIN_DIR "/qt-first-page-probe";
  const std::string empty = BENCH_BIN_DIR "/qt-empty-window";
  if (RunCommand({probe}) != 0 || RunCommand({empty}) != 0) {
    std::fprintf(stderr, "a program did not show its window\n");
    return 1;
  }
  double ours = 1e30, reference = 1e30, text = 1e30;
  for (int i = 0; i < 10; ++i) {
    reference = std::min(reference, TimeSeconds([&] { RunCommand({empty}); }));
    ours = std::min(ours, TimeSeconds([&] { RunCommand({probe}); }));
    text = std::min(text, TimeSeconds([&] { RunCommand({empty, "--text"}); }));
  }
  std::filesystem::remove_all(dir);
  std::printf("downloader to its first page: %.3f s\n", ours);
  std::printf("empty Qt window:              %.3f s\n", reference);
  std::printf("the window with a line of text: %.3f s (ratio %.2f; the downloader to it %.2f)\n",
              text, text / reference, ours / text);
  const double ratio = ours / reference;
  std::printf("ratio: %.2f  (goal <= 1.5) %s\n", ratio, ratio <= 1.5 ? "OK" : "ABOVE GOAL");
  return 0;
}
