// FileDigest of a 512 MiB file against `openssl dgst -sha1` of the same
// file, both reading from the page cache. Prints both throughputs and the
// ratio (goal: at least 0.9).
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench/bench_util.h"
#include "update/file_digest.h"

int main(int argc, char** argv) {
  const uint64_t size = (argc > 1 ? std::stoull(argv[1]) : 512) << 20;
  const std::string dir = MakeTempFolder();
  const std::string file = dir + "/big.bin";
  if (dir.empty() || !MakeBigFile(file, size)) {
    std::fprintf(stderr, "cannot make the test file\n");
    return 2;
  }
  FileDigest(file);  // warms the page cache
  std::string ours;
  double oursSeconds = BestOf(3, [&] { ours = FileDigest(file); });
  double refSeconds = BestOf(3, [&] {
    RunCommand({"openssl", "dgst", "-sha1", "-binary", file}, dir + "/ref.bin");
  });
  std::string refDigest;
  {
    std::ifstream in(dir + "/ref.bin", std::ios::binary);
    refDigest.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string refText =
      Base64(reinterpret_cast<const unsigned char*>(refDigest.data()), refDigest.size());
  std::filesystem::remove_all(dir);
  const double mib = static_cast<double>(size) / (1 << 20);
  std::printf("file size:               %.0f MiB\n", mib);
  std::printf("FileDigest:              %.3f s  %.0f MiB/s  %s\n", oursSeconds, mib / oursSeconds,
              ours.c_str());
  std::printf("openssl dgst -sha1:      %.3f s  %.0f MiB/s  %s\n", refSeconds, mib / refSeconds,
              refText.c_str());
  const double ratio = refSeconds / oursSeconds;
  std::printf("ratio (ours/openssl throughput): %.3f  (goal >= 0.9) %s\n", ratio,
              ratio >= 0.9 ? "OK" : "BELOW GOAL");
  if (ours != refText) {
    std::printf("DIGESTS DIFFER\n");
    return 1;
  }
  return 0;
}
