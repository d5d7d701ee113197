#include "tools/key_folder.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/encoder.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

bool ReadWholeFile(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  *content = ss.str();
  return !in.bad();
}

bool WriteWholeFile(const std::string& path, const std::string& content, unsigned mode) {
  // The permissions are set before the first byte is written, so that a
  // private key is never readable by others, not even for a moment.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0;
  for (size_t done = 0; ok && done < content.size();) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  return close(fd) == 0 && ok;
}

bool LoadEnvelopeKey(const std::string& dir, EnvelopeKey* key, std::string* error) {
  if (dir.empty()) {
    *key = CompiledEnvelopeKey();
    return true;
  }
  std::string text;
  if (!ReadWholeFile(dir + "/envelope-key.txt", &text)) {
    *error = "cannot read " + dir + "/envelope-key.txt";
    return false;
  }
  if (!ParseEnvelopeKey(text, key)) {
    *error = dir + "/envelope-key.txt lacks one of n, e, d, p, q, dP, dQ, qInv";
    return false;
  }
  return true;
}

namespace {

using PkeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;

std::string HexParam(EVP_PKEY* pkey, const char* name, size_t digits) {
  BIGNUM* bn = nullptr;
  if (!EVP_PKEY_get_bn_param(pkey, name, &bn)) return {};
  char* hex = BN_bn2hex(bn);
  std::string text = hex;
  OPENSSL_free(hex);
  BN_free(bn);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (text.size() < digits) text.insert(0, digits - text.size(), '0');
  return text;
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  long len = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(len));
}

}  // namespace

bool GenerateKeyFolder(const std::string& dir, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  PkeyPtr envelope(EVP_RSA_gen(1024), EVP_PKEY_free);
  PkeyPtr manifest(EVP_RSA_gen(1024), EVP_PKEY_free);
  if (!envelope || !manifest) {
    *error = "RSA key generation failed";
    return false;
  }
  EnvelopeKey k;
  k.n = HexParam(envelope.get(), OSSL_PKEY_PARAM_RSA_N, 256);
  k.e = HexParam(envelope.get(), OSSL_PKEY_PARAM_RSA_E, 6);
  k.d = HexParam(envelope.get(), OSSL_PKEY_PARAM_RSA_D, 256);
  k.p = HexParam(envelope.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, 128);
  k.q = HexParam(envelope.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, 128);
  k.dP = HexParam(envelope.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1, 128);
  k.dQ = HexParam(envelope.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2, 128);
  k.qInv = HexParam(envelope.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1, 128);
  if (k.n.size() != 256 || k.d.size() != 256 || k.p.size() != 128 || k.q.size() != 128) {
    *error = "generated envelope key has unexpected lengths";
    return false;
  }

  // The public half in the PKCS#1 form ("RSA PUBLIC KEY").
  BioPtr pub(BIO_new(BIO_s_mem()), BIO_free);
  std::unique_ptr<OSSL_ENCODER_CTX, decltype(&OSSL_ENCODER_CTX_free)> enc(
      OSSL_ENCODER_CTX_new_for_pkey(manifest.get(), OSSL_KEYMGMT_SELECT_PUBLIC_KEY, "PEM",
                                    "type-specific", nullptr),
      OSSL_ENCODER_CTX_free);
  BioPtr priv(BIO_new(BIO_s_mem()), BIO_free);
  if (!pub || !enc || !OSSL_ENCODER_to_bio(enc.get(), pub.get()) || !priv ||
      !PEM_write_bio_PrivateKey(priv.get(), manifest.get(), nullptr, nullptr, 0, nullptr,
                                nullptr)) {
    *error = "cannot encode the manifest key";
    return false;
  }
  // The envelope key file holds the private half too.
  if (!WriteWholeFile(dir + "/envelope-key.txt", FormatEnvelopeKey(k), 0600) ||
      !WriteWholeFile(dir + "/manifest-public.pem", BioText(pub.get()), 0644) ||
      !WriteWholeFile(dir + "/manifest-private.pem", BioText(priv.get()), 0600)) {
    *error = "cannot write the key files to " + dir;
    return false;
  }
  return true;
}
