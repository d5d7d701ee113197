#include "channel/envelope_codec.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "channel/embedded_keys.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr size_t kRsaBytes = 128;
constexpr size_t kMessageKeyBytes = 24;
const unsigned char kIv[8] = {'7', '3', '9', '1', '5', '2', '8', '6'};

struct BnFree {
  void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
struct CtxFree {
  void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};

Bn NewBn() { return Bn(BN_new()); }

Bn FromHex(const std::string& hex) {
  BIGNUM* b = nullptr;
  if (hex.empty() || BN_hex2bn(&b, hex.c_str()) != static_cast<int>(hex.size())) {
    BN_free(b);
    return nullptr;
  }
  return Bn(b);
}

// The key pair read into big integers, for one call.
struct RsaNumbers {
  Bn n, e, d, p, q, dP, dQ, qInv;
  bool LoadPublic(const EnvelopeKey& k) { return (n = FromHex(k.n)) && (e = FromHex(k.e)); }
  bool LoadPrivate(const EnvelopeKey& k) {
    return LoadPublic(k) && (d = FromHex(k.d)) && (p = FromHex(k.p)) && (q = FromHex(k.q)) &&
           (dP = FromHex(k.dP)) && (dQ = FromHex(k.dQ)) && (qInv = FromHex(k.qInv));
  }
};

bool PublicKeyValid(const RsaNumbers& k) {
  int eBits = BN_num_bits(k.e.get());
  return BN_is_odd(k.n.get()) && BN_is_odd(k.e.get()) &&
         BN_num_bytes(k.n.get()) == static_cast<int>(kRsaBytes) && eBits >= 2 && eBits <= 64;
}

// n = p*q, e coprime to (p-1)(q-1), d*e = 1 mod lcm(p-1, q-1).
bool PrivateKeyValid(const RsaNumbers& k, BN_CTX* ctx) {
  Bn t = NewBn(), p1 = NewBn(), q1 = NewBn(), phi = NewBn(), g = NewBn(), lcm = NewBn(),
     r = NewBn();
  if (!t || !p1 || !q1 || !phi || !g || !lcm || !r) return false;
  if (!BN_mul(t.get(), k.p.get(), k.q.get(), ctx) || BN_cmp(t.get(), k.n.get()) != 0) return false;
  if (!BN_sub(p1.get(), k.p.get(), BN_value_one()) || !BN_sub(q1.get(), k.q.get(), BN_value_one()))
    return false;
  if (!BN_mul(phi.get(), p1.get(), q1.get(), ctx) || !BN_gcd(g.get(), k.e.get(), phi.get(), ctx) ||
      !BN_is_one(g.get()))
    return false;
  if (!BN_gcd(g.get(), p1.get(), q1.get(), ctx) || BN_is_zero(g.get()) ||
      !BN_div(lcm.get(), nullptr, phi.get(), g.get(), ctx))
    return false;
  if (!BN_mod_mul(r.get(), k.d.get(), k.e.get(), lcm.get(), ctx)) return false;
  return BN_is_one(r.get());
}

bool ToFixedBytes(const BIGNUM* b, unsigned char* out, size_t len) {
  return BN_bn2binpad(b, out, static_cast<int>(len)) == static_cast<int>(len);
}

// Raw RSA public operation on a 128-byte block.
bool RsaPublic(const RsaNumbers& k, const unsigned char* in, unsigned char* out, BN_CTX* ctx) {
  Bn m(BN_bin2bn(in, kRsaBytes, nullptr)), c = NewBn();
  if (!m || !c || BN_cmp(m.get(), k.n.get()) >= 0) return false;
  return BN_mod_exp(c.get(), m.get(), k.e.get(), k.n.get(), ctx) &&
         ToFixedBytes(c.get(), out, kRsaBytes);
}

// Raw RSA private operation through the CRT components.
bool RsaPrivateCrt(const RsaNumbers& k, const unsigned char* in, unsigned char* out, BN_CTX* ctx) {
  Bn c(BN_bin2bn(in, kRsaBytes, nullptr)), m1 = NewBn(), m2 = NewBn(), h = NewBn(), m = NewBn();
  if (!c || !m1 || !m2 || !h || !m || BN_cmp(c.get(), k.n.get()) >= 0) return false;
  BN_set_flags(k.dP.get(), BN_FLG_CONSTTIME);
  BN_set_flags(k.dQ.get(), BN_FLG_CONSTTIME);
  if (!BN_mod_exp(m1.get(), c.get(), k.dP.get(), k.p.get(), ctx) ||
      !BN_mod_exp(m2.get(), c.get(), k.dQ.get(), k.q.get(), ctx) ||
      !BN_mod_sub(h.get(), m1.get(), m2.get(), k.p.get(), ctx) ||
      !BN_mod_mul(h.get(), h.get(), k.qInv.get(), k.p.get(), ctx) ||
      !BN_mul(m.get(), h.get(), k.q.get(), ctx) || !BN_add(m.get(), m.get(), m2.get()))
    return false;
  return ToFixedBytes(m.get(), out, kRsaBytes);
}

// Triple DES (EDE, three keys) in CBC mode without padding of its own.
bool TripleDes(bool encrypt, const unsigned char key[kMessageKeyBytes], const unsigned char* in,
               size_t len, unsigned char* out) {
  if (len % 8 != 0) return false;
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      EVP_CIPHER_CTX_free);
  if (!ctx || !EVP_CipherInit_ex(ctx.get(), EVP_des_ede3_cbc(), nullptr, key, kIv, encrypt ? 1 : 0))
    return false;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  int outLen = 0, finalLen = 0;
  if (len > 0 && !EVP_CipherUpdate(ctx.get(), out, &outLen, in, static_cast<int>(len)))
    return false;
  if (!EVP_CipherFinal_ex(ctx.get(), out + outLen, &finalLen)) return false;
  return static_cast<size_t>(outLen + finalLen) == len;
}

// A random byte other than zero; gives up after 100 zero draws.
bool NonZeroRandomByte(unsigned char* out) {
  for (int draw = 0; draw < 100; ++draw) {
    if (RAND_bytes(out, 1) != 1) return false;
    if (*out != 0) return true;
  }
  return false;
}

int HexValue(char c) {
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  // Other characters are not rejected; they count as their distance from '0'.
  return c - '0';
}

size_t PaddedLength(size_t a) { return a - a % 8 + 8; }

}  // namespace

void WriteUpperHex(const unsigned char* data, size_t n, char* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = kDigits[data[i] >> 4];
    out[2 * i + 1] = kDigits[data[i] & 15];
  }
}

std::string UpperHex(const void* data, size_t n) {
  std::string hex(2 * n, '\0');
  WriteUpperHex(static_cast<const unsigned char*>(data), n, hex.data());
  return hex;
}

namespace EnvelopeCodec {

size_t SealCapacity(size_t a) { return 2 * (a - a % 8) + 350; }
size_t SealedLength(size_t a) { return 2 * PaddedLength(a) + 324; }

int Seal(const unsigned char* data, size_t a, char* out, size_t* size, const EnvelopeKey& key) {
  if (!size || (a > 0 && !data)) return -1;
  if (a > kMaxPlaintext) return -1;
  if (!out || *size < SealCapacity(a)) {
    *size = SealCapacity(a);
    return 0;
  }
  RsaNumbers k;
  std::unique_ptr<BN_CTX, CtxFree> ctx(BN_CTX_new());
  if (!ctx || !k.LoadPublic(key) || !PublicKeyValid(k)) return -1;

  // The message key comes from the cryptographic generator, full byte range.
  unsigned char messageKey[kMessageKeyBytes];
  if (RAND_bytes(messageKey, sizeof messageKey) != 1) return -1;

  // PKCS#1 v1.5 type 2: 00 02, non-zero padding, 00, the key.
  unsigned char block[kRsaBytes];
  block[0] = 0x00;
  block[1] = 0x02;
  const size_t padEnd = kRsaBytes - kMessageKeyBytes - 1;
  for (size_t i = 2; i < padEnd; ++i) {
    if (!NonZeroRandomByte(&block[i])) return -1;
  }
  block[padEnd] = 0x00;
  std::memcpy(block + padEnd + 1, messageKey, kMessageKeyBytes);

  const size_t P = PaddedLength(a);
  const size_t L = P + 158;
  Bytes s(P + 162);
  s[0] = 0x30;
  s[1] = 0x82;
  s[2] = static_cast<unsigned char>(L >> 8);
  s[3] = static_cast<unsigned char>(L);
  s[4] = 0x04;
  s[5] = 0x81;
  s[6] = 0x80;
  bool ok = RsaPublic(k, block, &s[7], ctx.get());
  OPENSSL_cleanse(block, sizeof block);

  Bytes padded(P);
  if (a > 0) std::memcpy(padded.data(), data, a);
  std::memset(padded.data() + a, static_cast<int>(P - a), P - a);
  s[135] = 0x04;
  s[136] = 0x82;
  s[137] = static_cast<unsigned char>(P >> 8);
  s[138] = static_cast<unsigned char>(P);
  ok = ok && TripleDes(true, messageKey, padded.data(), P, &s[139]);
  OPENSSL_cleanse(messageKey, sizeof messageKey);
  if (!ok) return -1;

  s[139 + P] = 0x04;
  s[140 + P] = 0x81;
  s[141 + P] = 0x14;
  SHA1(data, a, &s[142 + P]);

  WriteUpperHex(s.data(), s.size(), out);
  *size = 2 * s.size();
  return 0;
}

int Seal(const std::string& plaintext, std::string* sealed, const EnvelopeKey& key) {
  const auto* data = reinterpret_cast<const unsigned char*>(plaintext.data());
  size_t size = 0;
  if (Seal(data, plaintext.size(), nullptr, &size, key) != 0) return -1;
  std::string text(size, '\0');
  if (Seal(data, plaintext.size(), text.data(), &size, key) != 0) return -1;
  text.resize(size);
  *sealed = std::move(text);
  return 0;
}

bool Open(const char* text, size_t n, std::string* plaintext, const EnvelopeKey& key) {
  if (!text || n % 2 != 0) return false;
  const size_t D = n / 2;
  // Zero-filled past the decoded bytes, so that a length byte read at the
  // very end of a short text reads as zero instead of outside the buffer.
  Bytes b(D + 4, 0);
  for (size_t i = 0; i < D; ++i) {
    b[i] = static_cast<unsigned char>(HexValue(text[2 * i]) * 16 + HexValue(text[2 * i + 1]));
  }
  if (D < 7) return false;
  const size_t K = b[6];
  if (D < K + 10) return false;
  const size_t P = (static_cast<size_t>(b[K + 9]) << 8) | b[K + 10];
  if (D <= K + P + 13) return false;
  const size_t H = b[K + P + 13];
  if (D < K + P + 14 + H) return false;
  if (K < kRsaBytes) return false;

  RsaNumbers k;
  std::unique_ptr<BN_CTX, CtxFree> ctx(BN_CTX_new());
  if (!ctx || !k.LoadPrivate(key) || !PrivateKeyValid(k, ctx.get())) return false;

  unsigned char block[kRsaBytes];
  if (!RsaPrivateCrt(k, &b[7], block, ctx.get())) return false;
  unsigned char messageKey[kMessageKeyBytes] = {0};
  bool ok = block[0] == 0x00 && (block[1] == 0x02 || block[1] == 0x01);
  size_t zero = 2;
  while (ok && zero < kRsaBytes && block[zero] != 0) ++zero;
  ok = ok && zero < kRsaBytes && kRsaBytes - zero - 1 <= kMessageKeyBytes;
  if (ok) std::memcpy(messageKey, block + zero + 1, kRsaBytes - zero - 1);
  OPENSSL_cleanse(block, sizeof block);
  if (!ok || P % 8 != 0) {
    OPENSSL_cleanse(messageKey, sizeof messageKey);
    return false;
  }

  Bytes clear(P + 1, 0);
  ok = TripleDes(false, messageKey, &b[K + 11], P, clear.data());
  OPENSSL_cleanse(messageKey, sizeof messageKey);
  if (!ok) return false;

  size_t end = 0;
  while (end < P && clear[end] != 0) ++end;
  if (end > 0) {
    unsigned pad = clear[end - 1];
    if (pad >= 1 && pad <= 8) end -= std::min<size_t>(pad, end);
  }
  if (H != SHA_DIGEST_LENGTH) return false;
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(clear.data(), end, digest);
  if (std::memcmp(digest, &b[K + P + 14], SHA_DIGEST_LENGTH) != 0) return false;
  plaintext->assign(reinterpret_cast<const char*>(clear.data()), end);
  return true;
}

bool Open(const std::string& text, std::string* plaintext, const EnvelopeKey& key) {
  return Open(text.data(), text.size(), plaintext, key);
}

}  // namespace EnvelopeCodec

bool ParseEnvelopeKey(const std::string& text, EnvelopeKey* key) {
  EnvelopeKey k;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
    std::string name = line.substr(0, eq), value = line.substr(eq + 1);
    std::string* field = name == "n"      ? &k.n
                         : name == "e"    ? &k.e
                         : name == "d"    ? &k.d
                         : name == "p"    ? &k.p
                         : name == "q"    ? &k.q
                         : name == "dP"   ? &k.dP
                         : name == "dQ"   ? &k.dQ
                         : name == "qInv" ? &k.qInv
                                          : nullptr;
    if (field) *field = value;
  }
  for (const std::string* f : {&k.n, &k.e, &k.d, &k.p, &k.q, &k.dP, &k.dQ, &k.qInv}) {
    if (f->empty() || f->find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return false;
  }
  *key = k;
  return true;
}

std::string FormatEnvelopeKey(const EnvelopeKey& k) {
  return "n=" + k.n + "\ne=" + k.e + "\nd=" + k.d + "\np=" + k.p + "\nq=" + k.q + "\ndP=" + k.dP +
         "\ndQ=" + k.dQ + "\nqInv=" + k.qInv + "\n";
}

const EnvelopeKey& CompiledEnvelopeKey() {
  static const EnvelopeKey key = [] {
    EnvelopeKey k;
    ParseEnvelopeKey(kEmbeddedEnvelopeKey, &k);
    return k;
  }();
  return key;
}
