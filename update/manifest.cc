#include "update/manifest.h"

#include <openssl/decoder.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <pugixml.hpp>

#include "channel/embedded_keys.h"
#include "platform/platform.h"

std::string ManifestFileName(ManifestKind kind, uint32_t bankId) {
  if (kind == ManifestKind::Common) return "Digest.xml";
  char name[32];
  std::snprintf(name, sizeof name, "Digest_%.3x.xml", bankId);
  return name;
}

std::string NarrowText(const char* utf8) { return platform::NarrowFromUtf8(utf8 ? utf8 : ""); }

namespace {

// Manifests list thousands of entries at most; a larger file is not one.
constexpr size_t kMaxManifestBytes = 64u << 20;

bool ReadManifestFile(const std::string& path, std::string* text) {
  std::string why;
  if (platform::Sys().fileSystem->ReadSmallFile(path, kMaxManifestBytes, text, &why)) return true;
  if (why != "cannot be opened") platform::Debug("manifest not read(" + path + "): it " + why);
  return false;
}

// The key of an entry in the index: the three fields with their lengths, so
// that no two different entries share a key.
std::string IndexKey(const ManifestEntry& e) {
  std::string key;
  for (const std::string* f : {&e.FileName, &e.Path, &e.Digest}) {
    key += std::to_string(f->size());
    key += ':';
    key += *f;
  }
  return key;
}

}  // namespace

ManifestEntry ComponentManifest::EntryAt(int i) const {
  if (i < 1 || static_cast<size_t>(i) > files_.size()) return {};
  return files_[static_cast<size_t>(i) - 1];
}

bool ComponentManifest::ContainsEntry(const ManifestEntry& e) const {
  return index_.count(IndexKey(e)) != 0;
}

void ComponentManifest::BuildIndex() {
  // EntryAt of 1..EntryCount: the first File elements, and the empty entry
  // when the count goes past the last of them.
  const size_t n = static_cast<size_t>(entryCount_);
  for (size_t i = 0; i < n && i < files_.size(); ++i) index_.insert(IndexKey(files_[i]));
  if (n > files_.size()) index_.insert(IndexKey(ManifestEntry{}));
}

ComponentManifest LoadManifest(const std::string& path) {
  ComponentManifest m;
  pugi::xml_document doc;
  std::string text;
  // A missing file leaves the document empty; on a parse error the document
  // keeps what was read before it.
  if (ReadManifestFile(path, &text))
    doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  pugi::xml_node fileInfo;
  // Depth-first, pre-order walk from the document's first element, without
  // recursion: a deeply nested file must not exhaust the stack.
  std::vector<pugi::xml_node> stack;
  for (pugi::xml_node n = doc.last_child(); n; n = n.previous_sibling()) stack.push_back(n);
  while (!stack.empty()) {
    pugi::xml_node n = stack.back();
    stack.pop_back();
    if (n.type() != pugi::node_element) continue;
    if (!fileInfo && std::strcmp(n.name(), "FileInfo") == 0) fileInfo = n;
    if (std::strcmp(n.name(), "File") == 0) {
      m.files_.push_back({NarrowText(n.attribute("Path").value()),
                          NarrowText(n.attribute("FileName").value()),
                          NarrowText(n.attribute("Digest").value())});
    }
    for (pugi::xml_node c = n.last_child(); c; c = c.previous_sibling()) stack.push_back(c);
  }
  for (pugi::xml_node c = fileInfo.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) ++m.entryCount_;
  m.BuildIndex();
  return m;
}

namespace {

using PkeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

PkeyPtr ReadRsaPublicKey(const std::string& pem) {
  EVP_PKEY* pkey = nullptr;
  std::unique_ptr<OSSL_DECODER_CTX, decltype(&OSSL_DECODER_CTX_free)> ctx(
      OSSL_DECODER_CTX_new_for_pkey(&pkey, "PEM", "type-specific", "RSA",
                                    OSSL_KEYMGMT_SELECT_PUBLIC_KEY, nullptr, nullptr),
      OSSL_DECODER_CTX_free);
  const auto* data = reinterpret_cast<const unsigned char*>(pem.data());
  size_t len = pem.size();
  if (!ctx || !OSSL_DECODER_from_data(ctx.get(), &data, &len)) {
    EVP_PKEY_free(pkey);
    return PkeyPtr(nullptr, EVP_PKEY_free);
  }
  return PkeyPtr(pkey, EVP_PKEY_free);
}

int HexNibble(char c) {
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  // Digits are not validated; anything else simply makes a wrong byte.
  return c <= '9' ? c - '0' : c - 'A' + 10;
}

}  // namespace

bool VerifyManifestSignature(const std::string& path, const std::string& publicKeyPem) {
  PkeyPtr key = ReadRsaPublicKey(publicKeyPem);
  if (!key) return false;
  std::string file;
  if (!ReadManifestFile(path, &file)) return false;

  const size_t T = file.rfind('<');
  if (T == std::string::npos || T < kSignatureBlockSize) return false;
  const size_t B = T - kSignatureBlockSize;
  if (file.compare(B, 8, "\r\n<Sign>") != 0) return false;

  unsigned char signature[128];
  for (size_t i = 0; i < sizeof signature; ++i) {
    signature[i] = static_cast<unsigned char>(HexNibble(file[B + 8 + 2 * i]) * 16 +
                                              HexNibble(file[B + 9 + 2 * i]));
  }

  // The signed content: everything but the block, up to a zero byte after T.
  size_t end = file.find('\0', T);
  if (end == std::string::npos) end = file.size();
  unsigned char digest[SHA_DIGEST_LENGTH];
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!md || !EVP_DigestInit_ex(md.get(), EVP_sha1(), nullptr) ||
      !EVP_DigestUpdate(md.get(), file.data(), B) ||
      !EVP_DigestUpdate(md.get(), file.data() + T, end - T) ||
      !EVP_DigestFinal_ex(md.get(), digest, nullptr))
    return false;

  // PKCS#1 type 1 around the bare 20-byte digest, no DigestInfo.
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
      EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
  unsigned char recovered[128];
  size_t recoveredLen = sizeof recovered;
  if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_verify_recover(ctx.get(), recovered, &recoveredLen, signature, sizeof signature) <=
          0)
    return false;
  return recoveredLen == SHA_DIGEST_LENGTH &&
         std::memcmp(recovered, digest, SHA_DIGEST_LENGTH) == 0;
}

bool VerifyManifestSignature(const std::string& path) {
  return VerifyManifestSignature(path, kEmbeddedManifestPublicKey);
}
