// DownloadFile of a 1 GiB file from assistant-server over loopback against
// `curl -o` of the same URL from the same server. Prints both throughputs,
// the ratio (goal: at least 0.9) and the downloading process's peak memory
// (goal: under 64 MiB).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/progress_sink.h"
#include "bench/bench_util.h"
#include "update/download.h"
#include "update/file_digest.h"

namespace {

// Takes the reports as the progress page would, without drawing.
class CountingSink : public ProgressSink {
 public:
  void SetStatusText(const std::string&) override {}
  void SetCurrentRange(uint32_t) override {}
  void SetCurrentPos(uint32_t) override { ++reports; }
  void SetCurrentPercent(const std::string& t) override { last = t; }
  void SetTotalRange(uint32_t) override {}
  void SetTotalPos(uint32_t) override {}
  void SetTotalPercent(const std::string&) override {}
  void SetCancelCaption(const std::string&) override {}
  void SetWorkerFinished() override {}
  long reports = 0;
  std::string last;
};

}  // namespace

int main(int argc, char** argv) {
  const uint64_t size = (argc > 1 ? std::stoull(argv[1]) : 1024) << 20;
  const std::string dir = MakeTempFolder();
  const std::string release = dir + "/release";
  pid_t server = 0;
  std::string url;
  if (!ServeBigFile(BENCH_BIN_DIR "/assistant-server", dir, size, &server, &url)) return 2;

  // Runs alternate, each into a fresh file after the previous run's data has
  // reached the disk, so that neither side pays for the other's write-back.
  auto settle = [&] {
    std::filesystem::remove(dir + "/curl.bin");
    std::filesystem::remove(dir + "/ours.bin");
    sync();
  };
  double curlSeconds = 1e30, oursSeconds = 1e30;
  long peakKiB = 0;
  for (int i = 0; i < 3; ++i) {
    settle();
    curlSeconds = std::min(curlSeconds, TimeSeconds([&] {
                             RunCommand({"curl", "-s", "-o", dir + "/curl.bin", url});
                           }));
    settle();
    long rss = 0;
    double seconds = 0;
    int rc = RunInChild(
        [&] {
          CountingSink sink;
          CBindCallback callback(&sink);
          bool ok = DownloadFile(url, dir + "/ours.bin", &callback);
          return ok && sink.last == "100.00%" ? 0 : 1;
        },
        &rss, &seconds);
    if (rc != 0) {
      std::fprintf(stderr, "DownloadFile failed\n");
      StopServer(server);
      return 1;
    }
    oursSeconds = std::min(oursSeconds, seconds);
    peakKiB = std::max(peakKiB, rss);
  }
  RunCommand({"curl", "-s", "-o", dir + "/curl.bin", url});
  StopServer(server);
  const bool same = FileDigest(dir + "/ours.bin") == FileDigest(release + "/big.bin") &&
                    FileDigest(dir + "/curl.bin") == FileDigest(release + "/big.bin");
  std::filesystem::remove_all(dir);

  const double mib = static_cast<double>(size) / (1 << 20);
  std::printf("file size:          %.0f MiB\n", mib);
  std::printf("DownloadFile:       %.3f s  %.0f MiB/s  peak memory %.1f MiB\n", oursSeconds,
              mib / oursSeconds, peakKiB / 1024.0);
  std::printf("curl -o:            %.3f s  %.0f MiB/s\n", curlSeconds, mib / curlSeconds);
  const double ratio = curlSeconds / oursSeconds;
  std::printf("ratio (ours/curl throughput): %.3f  (goal >= 0.9) %s\n", ratio,
              ratio >= 0.9 ? "OK" : "BELOW GOAL");
  std::printf("peak memory: %.1f MiB (goal < 64 MiB) %s\n", peakKiB / 1024.0,
              peakKiB < 64 * 1024 ? "OK" : "ABOVE GOAL");
  if (!same) {
    std::printf("DOWNLOADED FILES DIFFER\n");
    return 1;
  }
  return 0;
}
