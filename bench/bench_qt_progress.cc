// The Qt progress page driven by a 1 GiB download from a local
// assistant-server, against the same download with no sink: prints both
// throughputs and their ratio (goal: the page costs at most 10%, a ratio of
// at least 0.9). Runs under the offscreen platform unless a display is set.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "bench/bench_util.h"
#include "ui/qt/qt_progress_page.h"
#include "update/download.h"
#include "update/file_digest.h"

namespace {

// The download behind the shown progress page, its sink the page; the GUI
// thread runs the page's loop meanwhile. Seconds taken, or -1 on a failure.
double WithPage(const std::string& url, const std::string& target) {
  bool ok = false;
  QtProgressPage* shown = nullptr;
  QtProgressPage page(Install, [&](ProgressSink* sink, std::unique_ptr<InstallContext>) {
    CBindCallback callback(sink);
    ok = DownloadFile(url, target, &callback);
    // The page's loop ends once the job is over.
    QMetaObject::invokeMethod(
        qApp, [&] { shown->done(0); }, Qt::QueuedConnection);
  });
  shown = &page;
  double seconds = TimeSeconds([&] {
    page.Open();
    page.RunModalLoop();
  });
  // The worker still marks its end after the job; the page outlives it.
  while (!page.controller().workerReturned())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  QApplication::processEvents();
  std::string lastPercent = page.controller().label(CProgressDlg::kCurrentPercent);
  page.StopTimer();
  if (!ok || lastPercent != "100.00%") return -1;
  return seconds;
}

// A sink that takes every report and draws nothing: what the reports cost
// before any page is involved.
class EmptySink : public ProgressSink {
 public:
  void SetStatusText(const std::string&) override {}
  void SetCurrentRange(uint32_t) override {}
  void SetCurrentPos(uint32_t) override {}
  void SetCurrentPercent(const std::string&) override {}
  void SetTotalRange(uint32_t) override {}
  void SetTotalPos(uint32_t) override {}
  void SetTotalPercent(const std::string&) override {}
  void SetCancelCaption(const std::string&) override {}
  void SetWorkerFinished() override {}
};

double WithoutPage(const std::string& url, const std::string& target, ProgressSink* sink) {
  bool ok = false;
  double seconds = TimeSeconds([&] {
    std::thread worker([&] {
      CBindCallback callback(sink);
      ok = DownloadFile(url, target, sink ? &callback : nullptr);
    });
    worker.join();
  });
  return ok ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const uint64_t size = (argc > 1 ? std::stoull(argv[1]) : 1024) << 20;
  const std::string dir = MakeTempFolder();
  setenv("DOWNLOADER_ROOT", (dir + "/root").c_str(), 1);
  LoadBankProfile();
  RunSettings.installDir = dir + "/inst";
  RunSettings.downloadUrl = "http://127.0.0.1";
  const std::string release = dir + "/release";
  pid_t server = 0;
  std::string url;
  if (!ServeBigFile(BENCH_BIN_DIR "/assistant-server", dir, size, &server, &url)) return 2;
  auto settle = [&] {
    std::filesystem::remove(dir + "/page.bin");
    std::filesystem::remove(dir + "/plain.bin");
    sync();
  };
  double page = 1e30, plain = 1e30, empty = 1e30;
  EmptySink emptySink;
  for (int i = 0; i < 5; ++i) {
    settle();
    empty = std::min(empty, WithoutPage(url, dir + "/plain.bin", &emptySink));
    settle();
    double p = WithoutPage(url, dir + "/plain.bin", nullptr);
    settle();
    double q = WithPage(url, dir + "/page.bin");
    if (p < 0 || q < 0) {
      std::fprintf(stderr, "a download failed\n");
      StopServer(server);
      return 1;
    }
    plain = std::min(plain, p);
    page = std::min(page, q);
  }
  StopServer(server);
  const bool same = FileDigest(dir + "/page.bin") == FileDigest(release + "/big.bin");
  std::filesystem::remove_all(dir);
  const double mib = static_cast<double>(size) / (1 << 20);
  std::printf("file size:              %.0f MiB\n", mib);
  std::printf("with the progress page: %.3f s  %.0f MiB/s\n", page, mib / page);
  std::printf("without a sink:         %.3f s  %.0f MiB/s\n", plain, mib / plain);
  std::printf("with an empty sink:     %.3f s  %.0f MiB/s (the reports alone)\n", empty,
              mib / empty);
  const double ratio = plain / page;
  std::printf("ratio (page/no sink throughput): %.3f  (goal >= 0.9) %s\n", ratio,
              ratio >= 0.9 ? "OK" : "BELOW GOAL");
  if (!same) {
    std::printf("DOWNLOADED FILE DIFFERS\n");
    return 1;
  }
  return 0;
}
