#include "tools/manifest_signing.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "channel/envelope_codec.h"
#include "update/file_digest.h"

namespace fs = std::filesystem;

namespace {

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string ManifestDocument(const std::vector<ManifestEntry>& entries) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Digest>\r\n<FileInfo>\r\n";
  for (const ManifestEntry& e : entries) {
    doc += "<File Path=\"" + XmlEscape(e.Path) + "\" FileName=\"" + XmlEscape(e.FileName) +
           "\" Digest=\"" + XmlEscape(e.Digest) + "\"/>\r\n";
  }
  return doc + "</FileInfo>\r\n</Digest>\r\n";
}

bool SignManifestText(const std::string& document, const std::string& privateKeyPem,
                      std::string* signedText, std::string* error) {
  size_t T = document.rfind('<');
  if (T == std::string::npos) {
    *error = "the document has no final tag";
    return false;
  }
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(
      BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())), BIO_free);
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr, EVP_PKEY_free);
  if (!key || EVP_PKEY_get_size(key.get()) != 128) {
    *error = "the private key cannot be read or is not a 1024-bit RSA key";
    return false;
  }
  unsigned char digest[SHA_DIGEST_LENGTH];
  EVP_Digest(document.data(), document.size(), digest, nullptr, EVP_sha1(), nullptr);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
      EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
  unsigned char sig[128];
  size_t sigLen = sizeof sig;
  // No signature digest is set, so the 20 bytes are padded as they are.
  if (!ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_sign(ctx.get(), sig, &sigLen, digest, sizeof digest) <= 0 || sigLen != 128) {
    *error = "signing failed";
    return false;
  }
  *signedText = document.substr(0, T) + "\r\n<Sign>" + UpperHex(sig, sizeof sig) + "</Sign>\r\n" +
                document.substr(T);
  return true;
}

bool CollectManifestEntries(const std::string& folder, unsigned bankId,
                            std::vector<ManifestEntry>* common, std::vector<ManifestEntry>* bank,
                            std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    *error = folder + " is not a folder";
    return false;
  }
  char tag[16];
  std::snprintf(tag, sizeof tag, "_%03x", bankId);
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.empty() && name[0] == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file()) continue;
    if (it.depth() == 0 && name.rfind("Digest", 0) == 0 && name.size() > 4 &&
        name.compare(name.size() - 4, 4, ".xml") == 0)
      continue;  // the manifests themselves
    files.push_back(it->path());
  }
  if (ec) {
    *error = "cannot list " + folder + ": " + ec.message();
    return false;
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    fs::path rel = fs::relative(file.parent_path(), folder);
    std::string path = rel == "." ? "" : rel.generic_string();
    std::replace(path.begin(), path.end(), '/', '\\');
    ManifestEntry e{path, file.filename().string(), FileDigest(file.string())};
    if (e.Digest.empty()) {
      *error = "cannot read " + file.string();
      return false;
    }
    (e.FileName.find(tag) != std::string::npos ? bank : common)->push_back(e);
  }
  return true;
}
