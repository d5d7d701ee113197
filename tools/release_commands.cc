#include "tools/release_commands.h"

#include <strings.h>

#include <iostream>

#include "platform/platform.h"
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
  c.reg = app.add_subcommand(
      "reg",
      "List the key store of this machine (or of the sandbox DOWNLOADER_ROOT names), or read "
      "one key or value");
  c.reg->add_option("KEY", c.key,
                    "Key below HKEY_LOCAL_MACHINE, for example "
                    "\"Software\\\\Vaultrel\\WebUI\\NAVRO\\801\"");
  c.reg->add_option("VALUE", c.valueName, "Value name");
  c.reg->add_flag("--64", c.view64, "The 64-bit view (where the start-up value lives)");
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

// "HKLM\<key>" with the view, and each value as name = "data".
int ShowKeyStore(const ReleaseCommands& c) {
  platform::KeyStore& store = *platform::Sys().keyStore;
  const platform::KeyView view =
      c.view64 ? platform::KeyView::Wow64_64 : platform::KeyView::Default;
  if (!c.valueName.empty()) {
    auto key = store.OpenKey(c.key, view);
    std::string value;
    if (!key || !key->GetString(c.valueName, std::string::npos, &value))
      return Fail("no value " + c.valueName + " in " + c.key);
    std::cout << platform::EscapeControlText(value) << "\n";
    return 0;
  }
  const std::string wanted = c.key.empty() ? "" : platform::NormaliseKeyPath(c.key);
  bool any = false;
  std::string lastKey;
  for (const platform::KeyStoreValue& v : store.ListAll()) {
    if (!wanted.empty() && (v.view != view || strcasecmp(v.key.c_str(), wanted.c_str()) != 0))
      continue;
    const std::string heading = std::string(v.view == platform::KeyView::Wow64_64 ? "[64] " : "") +
                                "HKEY_LOCAL_MACHINE\\" + v.key;
    if (heading != lastKey) std::cout << heading << "\n";
    lastKey = heading;
    any = true;
    if (!v.name.empty())
      std::cout << "  " << v.name << " = \"" << platform::EscapeControlText(v.data) << "\"\n";
  }
  if (!wanted.empty() && !any) return Fail("no key " + c.key);
  return 0;
}

int RunReleaseCommands(const std::string& keys, const ReleaseCommands& c) {
  if (c.reg->parsed()) return ShowKeyStore(c);
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
