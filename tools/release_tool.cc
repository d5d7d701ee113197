// release-tool: what support engineers and release managers use around the
// downloader: key sets, reading and making envelopes, and (see the
// subcommands) manifests and downloads.
#include <CLI/CLI.hpp>
#include <iostream>
#include <iterator>

#include "channel/envelope_codec.h"
#include "tools/key_folder.h"
#include "tools/release_commands.h"

namespace {

std::string TrimLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Keys, envelopes and signed manifests of the downloader"};
  app.require_subcommand(1);
  std::string keys;
  app.add_option("--keys", keys,
                 "Key folder (default: the compiled-in keys; publish signs with the private key "
                 "of the folder the build was made with)");
  app.fallthrough();

  std::string outDir;
  auto* keygen = app.add_subcommand("keygen", "Make a new key set");
  keygen->add_option("--out", outDir, "Folder to write the key files to")->required();

  std::string sealText;
  auto* seal = app.add_subcommand("seal", "Seal a text and print the sealed form");
  seal->add_option("TEXT", sealText, "Plaintext")->required();

  std::string openText;
  auto* open =
      app.add_subcommand("open", "Open a sealed text (read from standard input if absent)");
  open->add_option("SEALED", openText, "Sealed text");

  ReleaseCommands release;
  AddReleaseCommands(app, release);

  CLI11_PARSE(app, argc, argv);

  std::string error;
  if (keygen->parsed()) {
    if (!GenerateKeyFolder(outDir, &error)) {
      std::cerr << "release-tool: " << error << "\n";
      return 1;
    }
    std::cout << "wrote envelope-key.txt, manifest-public.pem, manifest-private.pem to " << outDir
              << "\n";
    return 0;
  }
  if (seal->parsed() || open->parsed()) {
    EnvelopeKey key;
    if (!LoadEnvelopeKey(keys, &key, &error)) {
      std::cerr << "release-tool: " << error << "\n";
      return 1;
    }
    if (seal->parsed()) {
      std::string sealed;
      if (EnvelopeCodec::Seal(sealText, &sealed, key) != 0) {
        std::cerr << "release-tool: the text cannot be sealed\n";
        return 1;
      }
      std::cout << sealed << "\n";
      return 0;
    }
    if (open->count("SEALED") == 0) {
      openText.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    }
    openText = TrimLineEnd(openText);
    std::string plain;
    if (!EnvelopeCodec::Open(openText, &plain, key)) {
      std::cerr << "release-tool: the text cannot be opened\n";
      return 1;
    }
    std::cout << plain << "\n";
    return 0;
  }
  return RunReleaseCommands(keys, release);
}
