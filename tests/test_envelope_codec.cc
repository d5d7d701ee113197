#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <filesystem>
#include <random>

#include "channel/envelope_codec.h"
#include "channel/http_client.h"
#include "tests/process_helpers.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Unhex(const std::string& hex) {
  Bytes b(hex.size() / 2);
  for (size_t i = 0; i < b.size(); ++i) b[i] = std::stoi(hex.substr(2 * i, 2), nullptr, 16);
  return b;
}

std::string Hex(const Bytes& b) {
  static const char d[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : b) (s += d[c >> 4]) += d[c & 15];
  return s;
}

std::string SealOf(const std::string& plain) {
  std::string sealed;
  EXPECT_EQ(EnvelopeCodec::Seal(plain, &sealed), 0);
  return sealed;
}

bool OpenText(const std::string& text, std::string* plain) {
  return EnvelopeCodec::Open(text.data(), text.size(), plain);
}

// Builds envelopes with a chosen RSA block, key and layout, to reach the
// opening rules that a correct sealer never exercises.
struct EnvelopeParts {
  Bytes block;  // 128 bytes before RSA encryption
  Bytes messageKey = Bytes(24, 0x5A);
  Bytes clear;               // what gets encrypted (already padded)
  Bytes digest;              // digest field
  int keyFieldLength = 128;  // declared K
};

Bytes RsaPublicOf(const Bytes& block) {
  const EnvelopeKey& k = CompiledEnvelopeKey();
  BIGNUM *n = nullptr, *e = nullptr;
  BN_hex2bn(&n, k.n.c_str());
  BN_hex2bn(&e, k.e.c_str());
  BIGNUM* m = BN_bin2bn(block.data(), block.size(), nullptr);
  BIGNUM* c = BN_new();
  BN_CTX* ctx = BN_CTX_new();
  BN_mod_exp(c, m, e, n, ctx);
  Bytes out(128);
  BN_bn2binpad(c, out.data(), 128);
  BN_free(n), BN_free(e), BN_free(m), BN_free(c), BN_CTX_free(ctx);
  return out;
}

Bytes DesEncrypt(const Bytes& key, const Bytes& clear) {
  unsigned char fullKey[24] = {0};
  std::copy(key.begin(), key.begin() + std::min<size_t>(24, key.size()), fullKey);
  Bytes out(clear.size() + 8);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_des_ede3_cbc(), nullptr, fullKey,
                     reinterpret_cast<const unsigned char*>("73915286"));
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int len = 0, fin = 0;
  EVP_EncryptUpdate(ctx, out.data(), &len, clear.data(), clear.size() - clear.size() % 8);
  EVP_EncryptFinal_ex(ctx, out.data() + len, &fin);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(len + fin);
  // A ciphertext of odd length keeps its tail bytes as they are.
  out.insert(out.end(), clear.end() - clear.size() % 8, clear.end());
  return out;
}

Bytes TypeBlock(unsigned char type, size_t keyLength) {
  Bytes block(128, 0x33);
  block[0] = 0;
  block[1] = type;
  block[128 - keyLength - 1] = 0;
  for (size_t i = 0; i < keyLength; ++i) block[128 - keyLength + i] = 0x5A;
  return block;
}

Bytes Sha1(const Bytes& data) {
  Bytes d(20);
  SHA1(data.data(), data.size(), d.data());
  return d;
}

Bytes Pkcs5(const std::string& text) {
  Bytes b(text.begin(), text.end());
  size_t pad = 8 - b.size() % 8;
  b.insert(b.end(), pad, static_cast<unsigned char>(pad));
  return b;
}

std::string Build(const EnvelopeParts& p) {
  Bytes key = RsaPublicOf(p.block);
  Bytes cipher = DesEncrypt(p.messageKey, p.clear);
  Bytes s = {0x30, 0x82, 0, 0, 0x04, 0x81, static_cast<unsigned char>(p.keyFieldLength)};
  s.insert(s.end(), key.begin(), key.begin() + std::min(128, p.keyFieldLength));
  s.insert(s.end(), {0x04, 0x82, static_cast<unsigned char>(cipher.size() >> 8),
                     static_cast<unsigned char>(cipher.size())});
  s.insert(s.end(), cipher.begin(), cipher.end());
  s.insert(s.end(), {0x04, 0x81, static_cast<unsigned char>(p.digest.size())});
  s.insert(s.end(), p.digest.begin(), p.digest.end());
  return Hex(s);
}

EnvelopeParts Valid(const std::string& text) {
  EnvelopeParts p;
  p.block = TypeBlock(2, 24);
  p.clear = Pkcs5(text);
  p.digest = Sha1(Bytes(text.begin(), text.end()));
  return p;
}

TEST(EnvelopeSeal, LengthsAndFixedPrefixes) {
  struct Case {
    size_t a, padded;
    const char* prefix;
  } cases[] = {{0, 8, "308200A6"},    {7, 8, "308200A6"},    {8, 16, "308200AE"},
               {15, 16, "308200AE"},  {16, 24, "308200B6"},  {95, 96, "308200FE"},
               {96, 104, "30820106"}, {103, 104, "30820106"}};
  for (const Case& c : cases) {
    std::string sealed = SealOf(std::string(c.a, 'x'));
    EXPECT_EQ(sealed.size(), 2 * c.padded + 324) << c.a;
    EXPECT_EQ(sealed.size(), EnvelopeCodec::SealedLength(c.a));
    EXPECT_EQ(sealed.substr(0, 8), c.prefix) << c.a;
    EXPECT_EQ(sealed.substr(8, 6), "048180") << c.a;
    EXPECT_EQ(sealed.substr(270, 4), "0482");
    EXPECT_EQ(sealed.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    Bytes b = Unhex(sealed);
    EXPECT_EQ((b[137] << 8) | b[138], static_cast<int>(c.padded));
    EXPECT_EQ(Hex({b[139 + c.padded], b[140 + c.padded], b[141 + c.padded]}), "048114");
  }
}

TEST(EnvelopeSeal, AnswersTheSizeQuestionWithoutSealing) {
  const unsigned char data[] = "801";
  size_t size = 0;
  EXPECT_EQ(EnvelopeCodec::Seal(data, 3, nullptr, &size), 0);
  EXPECT_EQ(size, 350u);
  std::string buffer(349, '#');
  size = buffer.size();
  EXPECT_EQ(EnvelopeCodec::Seal(data, 3, buffer.data(), &size), 0);
  EXPECT_EQ(size, 350u);
  EXPECT_EQ(buffer, std::string(349, '#'));
  buffer.assign(350, '#');
  size = buffer.size();
  EXPECT_EQ(EnvelopeCodec::Seal(data, 3, buffer.data(), &size), 0);
  EXPECT_EQ(size, 340u);
  EXPECT_EQ(buffer.substr(340), std::string(10, '#'));
  EXPECT_EQ(EnvelopeCodec::SealCapacity(16), 2 * 16 + 350u);
}

TEST(EnvelopeSeal, RoundTripsUpToTheLargestPlaintext) {
  std::mt19937 rng(7);
  std::string binary;
  for (int i = 0; i < 300; ++i) binary += static_cast<char>(1 + rng() % 255);
  for (const std::string& text :
       {std::string(), std::string("801"), std::string("{\"v\":\"1.0\"}"), std::string("中文内容"),
        binary, std::string(EnvelopeCodec::kMaxPlaintext, 'z')}) {
    std::string plain = "unchanged";
    ASSERT_TRUE(OpenText(SealOf(text), &plain)) << text.size();
    EXPECT_EQ(plain, text);
  }
  std::string sealed = "unchanged";
  EXPECT_EQ(EnvelopeCodec::Seal(std::string(EnvelopeCodec::kMaxPlaintext + 1, 'z'), &sealed), -1);
  EXPECT_EQ(sealed, "unchanged");
}

TEST(EnvelopeSeal, EverySealUsesAFreshMessageKey) {
  std::string a = SealOf("801"), b = SealOf("801");
  EXPECT_NE(a.substr(14, 256), b.substr(14, 256));  // key fields
  EXPECT_NE(a.substr(278, 16), b.substr(278, 16));  // ciphertexts: the message keys differ
  EXPECT_EQ(a.substr(300), b.substr(300));          // digest of the same text
}

TEST(EnvelopeOpen, BuiltEnvelopesOpenAsTheRulesSay) {
  const std::string text = "{\"v\":\"1.0.0.1\"}";
  struct Case {
    const char* name;
    std::function<std::string()> make;
    bool opens;
    std::string plain;
  } cases[] = {
      {"valid", [&] { return Build(Valid(text)); }, true, text},
      {"block type 1",
       [&] {
         auto p = Valid(text);
         p.block = TypeBlock(1, 24);
         return Build(p);
       },
       true, text},
      {"block type 3",
       [&] {
         auto p = Valid(text);
         p.block = TypeBlock(3, 24);
         return Build(p);
       },
       false, ""},
      {"key of 25 bytes",
       [&] {
         auto p = Valid(text);
         p.block = TypeBlock(2, 25);
         return Build(p);
       },
       false, ""},
      {"key of 16 bytes is zero-filled",
       [&] {
         auto p = Valid(text);
         p.block = TypeBlock(2, 16);
         p.messageKey = Bytes(16, 0x5A);
         return Build(p);
       },
       true, text},
      {"no zero after the type",
       [&] {
         auto p = Valid(text);
         p.block = Bytes(128, 0x44);
         p.block[0] = 0;
         p.block[1] = 2;
         return Build(p);
       },
       false, ""},
      {"key field of 127 bytes",
       [&] {
         auto p = Valid(text);
         p.keyFieldLength = 127;
         return Build(p);
       },
       false, ""},
      {"ciphertext of 12 bytes",
       [&] {
         auto p = Valid("abc");
         p.clear.resize(12, 4);
         return Build(p);
       },
       false, ""},
      {"wrong digest",
       [&] {
         auto p = Valid(text);
         p.digest[19] ^= 1;
         return Build(p);
       },
       false, ""},
      {"digest of 19 bytes",
       [&] {
         auto p = Valid(text);
         p.digest.resize(19);
         return Build(p);
       },
       false, ""},
      {"zero byte inside the plaintext",
       [&] {
         std::string withZero("ab\0cd", 5);
         auto p = Valid(withZero);
         return Build(p);
       },
       false, ""},
      {"zero byte, digest of the cut text",
       [&] {
         std::string withZero("ab\0cd", 5);
         auto p = Valid(withZero);
         p.digest = Sha1(Bytes{'a', 'b'});
         return Build(p);
       },
       true, "ab"},
      {"no padding, last byte above 8",
       [&] {
         auto p = Valid("abcdefgh");
         p.clear = Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
         return Build(p);
       },
       true, "abcdefgh"},
      {"trailing characters", [&] { return Build(Valid(text)) + "ZZ00"; }, true, text},
      {"lower-case hex",
       [&] {
         std::string s = Build(Valid(text));
         for (char& c : s) c = static_cast<char>(std::tolower(c));
         return s;
       },
       true, text},
      {"key value not below n",
       [&] {
         std::string s = Build(Valid(text));
         return s.substr(0, 14) + std::string(256, 'F') + s.substr(270);
       },
       false, ""},
  };
  for (const Case& c : cases) {
    std::string plain = "unchanged";
    EXPECT_EQ(OpenText(c.make(), &plain), c.opens) << c.name;
    EXPECT_EQ(plain, c.opens ? c.plain : "unchanged") << c.name;
  }
}

TEST(EnvelopeOpen, MalformedTextsFail) {
  const std::string good = SealOf("801");
  Bytes b = Unhex(good);
  const size_t K = 128, P = 8, H = 20;
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"odd length", good.substr(0, good.size() - 1)},
      {"six bytes", good.substr(0, 12)},
      {"cut before the ciphertext length", good.substr(0, 2 * (K + 10))},
      {"cut before the digest length", good.substr(0, 2 * (K + P + 13))},
      {"cut inside the digest", good.substr(0, 2 * (K + P + 14 + H - 1))},
      {"ciphertext length larger than the text", good.substr(0, 274) + "FFF8" + good.substr(278)},
      {"ciphertext changed",
       good.substr(0, 280) + (good[280] == '0' ? "1" : "0") + good.substr(281)},
  };
  for (const Case& c : cases) {
    std::string plain = "unchanged";
    EXPECT_FALSE(OpenText(c.text, &plain)) << c.name;
    EXPECT_EQ(plain, "unchanged") << c.name;
  }
  // An odd n fails even when the text behind it is fine.
  std::string plain;
  EXPECT_FALSE(EnvelopeCodec::Open(good.data(), good.size() - 1, &plain));
  EXPECT_TRUE(EnvelopeCodec::Open((good + "7").data(), good.size(), &plain));
  EXPECT_EQ(plain, "801");
}

TEST(EnvelopeOpen, RandomAndMutatedTextsNeverCrash) {
  std::mt19937 rng(2049);
  const std::string good = SealOf("{\"v\":\"1.0.0.12\",\"url\":\"http://x\"}");
  const char digits[] = "0123456789ABCDEFabcdefXZ/:";
  int opened = 0;
  for (int i = 0; i < 400; ++i) {
    std::string text;
    if (i % 2 == 0) {
      size_t len = rng() % 700;
      for (size_t j = 0; j < len; ++j) text += digits[rng() % (sizeof digits - 1)];
    } else {
      text = good;
      for (int m = 0; m < 1 + static_cast<int>(rng() % 4); ++m)
        text[rng() % text.size()] = digits[rng() % 16];
      if (rng() % 3 == 0) text.resize(rng() % text.size());
    }
    std::string plain;
    opened += OpenText(text, &plain);
  }
  // Mutations of the key, ciphertext or digest almost never survive the digest check.
  EXPECT_LT(opened, 40);
}

TEST(EnvelopeWithServer, ServerOpensOurSealAndWeOpenItsAnswer) {
  ChildProcess server;
  int port = StartAssistantServer(
      server, {"--version", "2.0.1.5", "--update", "1", "--url", "http://files.example/rel"});
  ASSERT_GT(port, 0) << server.Output();
  CHttpClient client;
  std::string reply;
  std::string base = "http://127.0.0.1:" + std::to_string(port) + "/assist/server?reqtype=1&data=";
  ASSERT_EQ(client.Get(base + SealOf("801"), &reply), CHttpClient::Done);
  std::string plain;
  ASSERT_TRUE(OpenText(reply, &plain)) << reply;
  EXPECT_EQ(plain, "{\"update\":\"1\",\"url\":\"http://files.example/rel\",\"v\":\"2.0.1.5\"}");
  EXPECT_TRUE(WaitUntil(
      [&] { return server.Output().find("version request for bank 801") != std::string::npos; },
      5000));

  // A request it cannot open: HTTP 400 with a plain body.
  ASSERT_EQ(client.Get(base + "00112233", &reply), CHttpClient::Done);
  EXPECT_EQ(reply, "request cannot be opened\n");
  EXPECT_FALSE(OpenText(reply, &plain));
}

TEST(EnvelopeWithServer, KeysOfAnotherFolderDoNotOpen) {
  char dir[] = "/tmp/downloader-keys-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  ChildProcess tool;
  ASSERT_TRUE(tool.Start(BinPath("release-tool"), {"keygen", "--out", dir}, "/", {}));
  ASSERT_EQ(tool.Wait(60000), 0) << tool.Output();
  ChildProcess server;
  int port = StartAssistantServer(server, {"--keys", dir});
  ASSERT_GT(port, 0) << server.Output();
  CHttpClient client;
  std::string reply;
  ASSERT_EQ(client.Get("http://127.0.0.1:" + std::to_string(port) +
                           "/assist/server?reqtype=1&data=" + SealOf("801"),
                       &reply),
            CHttpClient::Done);
  EXPECT_EQ(reply, "request cannot be opened\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
