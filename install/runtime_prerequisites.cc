#include "install/runtime_prerequisites.h"

#include <cctype>
#include <cstdio>

#include "app/progress_sink.h"
#include "install/install_context.h"
#include "install/registration.h"
#include "platform/platform.h"
#include "update/download.h"
#include "update/file_digest.h"

#ifndef DOWNLOADER_VENDOR_HOST
#define DOWNLOADER_VENDOR_HOST "download.vendor.example"
#endif
#ifndef DOWNLOADER_VCREDIST_X86_SHA256
#define DOWNLOADER_VCREDIST_X86_SHA256 ""
#endif
#ifndef DOWNLOADER_VCREDIST_X64_SHA256
#define DOWNLOADER_VCREDIST_X64_SHA256 ""
#endif

namespace {

const RuntimePackage kPackages[2] = {
    {"vcredist_x86.exe",
     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
     "{A09D5493-0D9F-3211-B3BF-DD7ABBB318C1}",
     "/download/7/5/0/7502f4e9-1f90-4895-9259-1bde67b8b9a1/vcredist_x86.exe"},
    {"vcredist_x64.exe",
     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
     "{02A39130-2CF3-30CA-8623-30F6071A4221}",
     "/download/2/b/e/2bec4780-6f99-4347-ad31-48d4b46ab1d3/vcredist_x64.exe"},
};

std::string Filled(const char* pattern, const std::string& value) {
  char buf[512];
  std::snprintf(buf, sizeof buf, pattern, value.c_str());
  return buf;
}

// A package is present when its uninstall key holds a readable "Version".
bool Present(RuntimePackageId id) {
  std::unique_ptr<platform::RegistryKey> key = platform::Sys().keyStore->OpenKey(
      RuntimePackageOf(id).uninstallKey, platform::KeyView::Default);
  std::string version;
  return key && key->GetString("Version", kValueBufferSize, &version);
}

// Fetches one package; starts it only when its bytes are the expected ones.
void InstallPackage(InstallContext& c, RuntimePackageId id) {
  const RuntimePackage& p = RuntimePackageOf(id);
  ProgressSink* sink = c.sink;
  std::string local = platform::Sys().locations->TempDir() + platform::kPathSep + p.fileName;
  std::string url = "http://" + RuntimeSources().host + p.serverPath;
  if (sink) sink->SetStatusText(Filled("正在下载 %s", p.fileName));
  // Only bytes this run fetched are started: a file left in the temporary
  // folder (shared by every user when there is no sandbox) could belong to
  // someone who can still change it after it was checked.
  platform::FileSystem& fs = *platform::Sys().fileSystem;
  bool ok = !fs.Exists(local) || fs.DeleteFile(local);
  if (!ok)
    platform::Debug(std::string("runtime package refused(") + local + "): cannot be replaced");
  CBindCallback callback(sink);
  ok = ok && DownloadFile(url, local, &callback) && fs.Exists(local);
  if (ok) {
    // An executable fetched over plain HTTP is started only when it is the
    // one this build expects; anyone on the way could have replaced it.
    std::string expected = RuntimeSources().sha256[id];
    for (char& ch : expected) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::string actual = FileSha256(local);
    if (expected.empty() || actual != expected) {
      platform::Debug(std::string("runtime package refused(") + p.fileName + "): sha256 " +
                      (actual.empty() ? "unreadable" : actual) + ", expected " +
                      (expected.empty() ? "none configured" : expected));
      (void)fs.DeleteFile(local);
      ok = false;
    }
  }
  if (!ok) {
    if (sink) {
      sink->SetStatusText(Filled("下载%s 失败", p.fileName));
      sink->SetCancelCaption("下载VS库失败");
    }
    return;
  }
  if (sink) {
    sink->SetTotalPercent(FormatPercent(c.currentStep, c.totalSteps));
    sink->SetTotalPos(static_cast<uint32_t>(c.currentStep));
  }
  ++c.currentStep;
  if (sink) sink->SetStatusText(Filled("正在安装 %s", p.fileName));
  // Not waited for; whether it started is not looked at.
  (void)platform::Sys().processes->Start(local, "/q", platform::ShowMode::Shown, false);
}

}  // namespace

const RuntimePackage& RuntimePackageOf(RuntimePackageId id) { return kPackages[id]; }

RuntimeSource& RuntimeSources() {
  static RuntimeSource source{DOWNLOADER_VENDOR_HOST,
                              {DOWNLOADER_VCREDIST_X86_SHA256, DOWNLOADER_VCREDIST_X64_SHA256}};
  return source;
}

int QueryOsInfo(int* kind, int* architecture) {
  platform::OsFacts f = platform::Sys().osInfo->Query();
  *kind = 0;
  // The architecture is decided for every system, so an unknown version or
  // one other than 6 still tells a 64-bit machine from a 32-bit one.
  *architecture = f.processorArchitecture == platform::kArchitectureAmd64 ? 0 : 1;
  if (!f.versionKnown) return 1;
  if (f.platformId != platform::kPlatformWin32Nt || f.majorVersion <= 4) return 0;
  if (f.majorVersion != 6) return 1;
  if (f.minorVersion == 1 || f.minorVersion == 2) *kind = 1;
  return 1;
}

int DetectMissingRuntimes(int* needX86, int* needX64) {
  int kind = 0, architecture = 1;
  int result = QueryOsInfo(&kind, &architecture);
  if (result == 0) {
    *needX86 = *needX64 = 1;
    return 0;
  }
  if (kind == 1) {
    *needX86 = *needX64 = 0;
    return 1;
  }
  *needX86 = Present(kRuntimeX86) ? 0 : 1;
  *needX64 = architecture == 0 && !Present(kRuntimeX64) ? 1 : 0;
  return 1;
}

int InstallMissingRuntimes(InstallContext& c, int needX86, int needX64) {
  if (needX86) InstallPackage(c, kRuntimeX86);
  if (needX64) InstallPackage(c, kRuntimeX64);
  return 1;
}
