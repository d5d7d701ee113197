#include "update/file_digest.h"

#include <openssl/evp.h>

#include <memory>
#include <vector>

#include "platform/platform.h"

std::string Base64(const unsigned char* data, size_t length) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((length + 2) / 3 * 4);
  for (size_t i = 0; i < length; i += 3) {
    uint32_t group = static_cast<uint32_t>(data[i]) << 16;
    if (i + 1 < length) group |= static_cast<uint32_t>(data[i + 1]) << 8;
    if (i + 2 < length) group |= data[i + 2];
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += i + 1 < length ? kAlphabet[(group >> 6) & 63] : '=';
    out += i + 2 < length ? kAlphabet[group & 63] : '=';
  }
  return out;
}

namespace {

// The digest of a file's bytes under md, or false when it cannot be read.
bool DigestFile(const std::string& path, const EVP_MD* type, unsigned char* digest,
                unsigned int* len) {
  std::unique_ptr<platform::InputFile> file = platform::Sys().fileSystem->OpenForReading(path);
  if (!file) return false;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  bool ok = md && EVP_DigestInit_ex(md.get(), type, nullptr);
  // Streamed in blocks; the file is never held whole.
  thread_local std::vector<unsigned char> block(256 * 1024);
  while (ok) {
    long long n = file->Read(block.data(), block.size());
    if (n == 0) break;
    if (n < 0) return false;
    ok = EVP_DigestUpdate(md.get(), block.data(), static_cast<size_t>(n));
  }
  return ok && EVP_DigestFinal_ex(md.get(), digest, len);
}

}  // namespace

std::string FileDigest(const std::string& path) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!DigestFile(path, EVP_sha1(), digest, &len)) return {};
  return Base64(digest, len);
}

std::string FileSha256(const std::string& path) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!DigestFile(path, EVP_sha256(), digest, &len)) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < len; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}
