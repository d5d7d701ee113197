#include "update/manifest.h"

#include <iconv.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "channel/embedded_keys.h"

std::string ManifestFileName(ManifestKind kind, uint32_t bankId) {
  if (kind == ManifestKind::Common) return "Digest.xml";
  char name[32];
  std::snprintf(name, sizeof name, "Digest_%.3x.xml", bankId);
  return name;
}

std::string NarrowText(const char* utf8) {
  if (!utf8 || !*utf8) return {};
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string in = utf8;
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  // Narrow strings are UTF-8 here: the conversion only checks the text.
  return rc == static_cast<size_t>(-1) || inLeft != 0 ? std::string() : in;
}

ComponentManifest::ComponentManifest() : doc_(std::make_shared<pugi::xml_document>()) {}

int ComponentManifest::EntryCount() const {
  int count = 0;
  for (pugi::xml_node child = fileInfo_.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element) ++count;
  return count;
}

ManifestEntry ComponentManifest::EntryAt(int i) const {
  if (i < 1 || static_cast<size_t>(i) > files_.size()) return {};
  pugi::xml_node file = files_[static_cast<size_t>(i) - 1];
  return {NarrowText(file.attribute("Path").value()),
          NarrowText(file.attribute("FileName").value()),
          NarrowText(file.attribute("Digest").value())};
}

bool ComponentManifest::ContainsEntry(const ManifestEntry& e) const {
  const int n = EntryCount();
  for (int i = 1; i <= n; ++i) {
    ManifestEntry x = EntryAt(i);
    if (x.FileName == e.FileName && x.Path == e.Path && x.Digest == e.Digest) return true;
  }
  return false;
}

namespace {

// Depth-first, pre-order walk from the document's first element.
template <typename Visit>
void WalkElements(pugi::xml_node node, Visit&& visit) {
  for (; node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    visit(node);
    WalkElements(node.first_child(), visit);
  }
}

}  // namespace

ComponentManifest LoadManifest(const std::string& path) {
  ComponentManifest m;
  // A missing file leaves the document empty; on a parse error the document
  // keeps what was read before it.
  m.doc_->load_file(path.c_str(), pugi::parse_default, pugi::encoding_utf8);
  WalkElements(m.doc_->first_child(), [&](pugi::xml_node n) {
    if (!m.fileInfo_ && std::strcmp(n.name(), "FileInfo") == 0) m.fileInfo_ = n;
    if (std::strcmp(n.name(), "File") == 0) m.files_.push_back(n);
  });
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
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string file = ss.str();

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
