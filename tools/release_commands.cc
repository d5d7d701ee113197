#include "tools/release_commands.h"

#include <iostream>

#include "tools/key_folder.h"
#include "tools/manifest_signing.h"
#include "ui/console/console_progress_sink.h"
#include "update/download.h"
#include "update/file_digest.h"
#include "update/manifest.h"

void AddReleaseCommands(CLI::App& app, ReleaseCommands& c) {
  c.publish = app.add_subcommand(
      "publish",
      "Write and sign Digest.xml and Digest_<bank>.xml for a folder of components. Files whose "
      "name carries the bank's tag (\"_801\") go to the bank manifest, all others to Digest.xml");
  c.publish->add_option("--bank", c.bank, "Bank id in hexadecimal");
  c.publish->add_option("FOLDER", c.folder, "Component folder")->required();
  c.verify = app.add_subcommand("verify", "Check a manifest's signature (exit code 0 when valid)");
  c.verify->add_option("FILE", c.file, "Manifest file")->required();
  c.digest = app.add_subcommand("digest", "Print a file's content digest");
  c.digest->add_option("FILE", c.file, "File")->required();
  c.fetch = app.add_subcommand("fetch", "Download one URL into a file, with a progress bar");
  c.fetch->add_option("URL", c.url, "http or https URL")->required();
  c.fetch->add_option("FILE", c.file, "Target file")->required();
}

namespace {

int Fail(const std::string& message) {
  std::cerr << "release-tool: " << message << "\n";
  return 1;
}

int Publish(const std::string& keys, const ReleaseCommands& c) {
  unsigned bankId = 0;
  try {
    bankId = static_cast<unsigned>(std::stoul(c.bank, nullptr, 16));
  } catch (...) {
    return Fail("--bank takes a hexadecimal id such as 801");
  }
  std::string keyDir = keys.empty() ? RELEASE_TOOL_DEFAULT_KEY_DIR : keys;
  std::string privatePem, error;
  if (!ReadWholeFile(keyDir + "/manifest-private.pem", &privatePem))
    return Fail("cannot read " + keyDir + "/manifest-private.pem");
  std::vector<ManifestEntry> common, bank;
  if (!CollectManifestEntries(c.folder, bankId, &common, &bank, &error)) return Fail(error);
  for (auto [kind, entries] :
       {std::pair{ManifestKind::Common, &common}, {ManifestKind::Bank, &bank}}) {
    std::string name = ManifestFileName(kind, bankId), signedText;
    if (!SignManifestText(ManifestDocument(*entries), privatePem, &signedText, &error))
      return Fail(error);
    if (!WriteWholeFile(c.folder + "/" + name, signedText))
      return Fail("cannot write " + c.folder + "/" + name);
    std::cout << name << ": " << entries->size() << " files\n";
  }
  return 0;
}

}  // namespace

int RunReleaseCommands(const std::string& keys, const ReleaseCommands& c) {
  if (c.publish->parsed()) return Publish(keys, c);
  if (c.verify->parsed()) {
    bool valid;
    if (keys.empty()) {
      valid = VerifyManifestSignature(c.file);
    } else {
      std::string pem;
      if (!ReadWholeFile(keys + "/manifest-public.pem", &pem))
        return Fail("cannot read " + keys + "/manifest-public.pem");
      valid = VerifyManifestSignature(c.file, pem);
    }
    std::cout << c.file << (valid ? ": signature valid\n" : ": signature NOT valid\n");
    return valid ? 0 : 1;
  }
  if (c.digest->parsed()) {
    std::string digest = FileDigest(c.file);
    if (digest.empty()) return Fail("cannot read " + c.file);
    std::cout << digest << "\n";
    return 0;
  }
  if (c.fetch->parsed()) {
    ConsoleProgressSink sink(stderr);
    sink.SetStatusText("正在下载 " + c.url);
    CBindCallback callback(&sink);
    bool ok = DownloadFile(c.url, c.file, &callback);
    // One file is the whole job.
    sink.SetTotalRange(1);
    sink.SetTotalPos(ok ? 1 : 0);
    sink.SetTotalPercent(ok ? "100%" : "0%");
    sink.SetStatusText(ok ? "下载完成 " + c.file : "下载" + c.url + " 失败");
    return ok ? 0 : 1;
  }
  return 1;
}
