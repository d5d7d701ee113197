#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <filesystem>
#include <fstream>

#include "tests/process_helpers.h"
#include "tools/key_folder.h"
#include "tools/manifest_signing.h"
#include "update/file_digest.h"
#include "update/manifest.h"

namespace {

std::string DevPrivateKey() {
  std::string pem;
  EXPECT_TRUE(
      ReadWholeFile(std::string(TEST_SOURCE_DIR) + "/assets/keys/dev/manifest-private.pem", &pem));
  return pem;
}

std::string Signed(const std::string& document) {
  std::string text, error;
  EXPECT_TRUE(SignManifestText(document, DevPrivateKey(), &text, &error)) << error;
  return text;
}

class ManifestTest : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    std::string path = sandbox_.cwd() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  bool VerifyText(const std::string& content) {
    return VerifyManifestSignature(Write("m.xml", content));
  }
  Sandbox sandbox_;
};

const std::vector<ManifestEntry> kEntries = {
    {"", "WebUI_801.exe", "2jmj7l5rSw0yVb/vlWAYkK/YBwk="},
    {"Plugins", "a.dll", "9XLTlvrpIGYocU+yzgD3LpTyJY8="},
    {"Plugins\\深层", "中文组件.dll", "b8+d+9R57YJpf+5xm5+MYQoR/yo="},
};

TEST_F(ManifestTest, SignedManifestVerifiesAndEveryExtraByteBreaksIt) {
  const std::string text = Signed(ManifestDocument(kEntries));
  EXPECT_TRUE(VerifyText(text));
  const size_t T = text.rfind('<');
  const size_t B = T - kSignatureBlockSize;
  ASSERT_EQ(text.compare(B, 8, "\r\n<Sign>"), 0);
  for (size_t at : {size_t{0}, size_t{40}, B - 1, T, T + 3, text.size()}) {
    std::string changed = text;
    changed.insert(at, 1, ' ');
    EXPECT_FALSE(VerifyText(changed)) << "extra byte at " << at;
  }
  // The 9 bytes after the digits are not part of the check.
  std::string loose = text;
  loose.replace(B + 264, 9, "<!--xx-->");
  EXPECT_TRUE(VerifyText(loose));
  // Lower-case digits verify like upper-case ones.
  std::string lower = text;
  for (size_t i = B + 8; i < B + 264; ++i) lower[i] = static_cast<char>(std::tolower(lower[i]));
  EXPECT_TRUE(VerifyText(lower));
  // A digit changed is a different signature.
  std::string flipped = text;
  flipped[B + 100] = flipped[B + 100] == '0' ? '1' : '0';
  EXPECT_FALSE(VerifyText(flipped));
}

TEST_F(ManifestTest, DigestInfoSignatureAndOtherKeysAreRejected) {
  const std::string doc = ManifestDocument(kEntries);
  // The usual PKCS#1 signature wraps the digest in DigestInfo (35 bytes).
  std::string pem = DevPrivateKey();
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  unsigned char digest[20], sig[128];
  size_t sigLen = sizeof sig;
  EVP_Digest(doc.data(), doc.size(), digest, nullptr, EVP_sha1(), nullptr);
  ASSERT_GT(EVP_PKEY_sign_init(ctx), 0);
  EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
  EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha1());
  ASSERT_GT(EVP_PKEY_sign(ctx, sig, &sigLen, digest, sizeof digest), 0);
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(key);
  std::string hex;
  char pair[3];
  for (unsigned char b : sig) std::snprintf(pair, sizeof pair, "%02X", b), hex += pair;
  size_t T = doc.rfind('<');
  EXPECT_FALSE(VerifyText(doc.substr(0, T) + "\r\n<Sign>" + hex + "</Sign>\r\n" + doc.substr(T)));

  char dir[] = "/tmp/downloader-otherkeys-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string error, otherPem, text;
  ASSERT_TRUE(GenerateKeyFolder(dir, &error)) << error;
  ASSERT_TRUE(ReadWholeFile(std::string(dir) + "/manifest-private.pem", &otherPem));
  ASSERT_TRUE(SignManifestText(doc, otherPem, &text, &error));
  EXPECT_FALSE(VerifyText(text));
  std::string otherPublic;
  ASSERT_TRUE(ReadWholeFile(std::string(dir) + "/manifest-public.pem", &otherPublic));
  EXPECT_TRUE(VerifyManifestSignature(Write("o.xml", text), otherPublic));
  std::filesystem::remove_all(dir);
}

TEST_F(ManifestTest, BrokenGeometryFailsWithoutReadingOutside) {
  const std::string text = Signed(ManifestDocument(kEntries));
  struct Case {
    const char* name;
    std::string content;
  } cases[] = {
      {"no < at all", std::string(600, 'a')},
      {"last < before byte 273", std::string(272, 'a') + "<x>"},
      {"last < at byte 273 without block", std::string(273, 'a') + "<x>"},
      {"empty file", ""},
      {"block moved", text.substr(0, text.rfind('<')) + "x" + text.substr(text.rfind('<'))},
      {"Sign tag misspelt",
       [&] {
         std::string s = text;
         s.replace(text.rfind('<') - kSignatureBlockSize + 3, 4, "sign");
         return s;
       }()},
  };
  for (const Case& c : cases) EXPECT_FALSE(VerifyText(c.content)) << c.name;
  EXPECT_FALSE(VerifyManifestSignature(sandbox_.cwd() + "/missing.xml"));
  EXPECT_FALSE(VerifyManifestSignature(Write("k.xml", text), "not a key"));
}

TEST_F(ManifestTest, EntriesReadBackUnchanged) {
  ComponentManifest m = LoadManifest(Write("m.xml", Signed(ManifestDocument(kEntries))));
  ASSERT_EQ(m.EntryCount(), 3);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(m.EntryAt(i), kEntries[i - 1]) << i;
    EXPECT_TRUE(m.ContainsEntry(kEntries[i - 1]));
  }
  EXPECT_EQ(m.EntryAt(0), ManifestEntry{});
  EXPECT_EQ(m.EntryAt(4), ManifestEntry{});
  ManifestEntry other = kEntries[1];
  other.FileName = "A.dll";  // letter case counts
  EXPECT_FALSE(m.ContainsEntry(other));
  other = kEntries[1];
  other.Digest.pop_back();
  EXPECT_FALSE(m.ContainsEntry(other));
}

TEST_F(ManifestTest, DocumentShapes) {
  struct Case {
    const char* name;
    std::string xml;
    int count;
    std::vector<ManifestEntry> entries;
  } cases[] = {
      {"Sign inside FileInfo counts as an entry",
       "<D><FileInfo><File Path=\"\" FileName=\"a\" Digest=\"d\"/><Sign>00</Sign></FileInfo></D>",
       2,
       {{"", "a", "d"}, {}}},
      {"File without Digest",
       "<FileInfo><File FileName=\"a\" Path=\"P\"/></FileInfo>",
       1,
       {{"P", "a", ""}}},
      {"no FileInfo", "<D><File FileName=\"a\"/></D>", 0, {{"", "a", ""}}},
      {"Files in document order, nested ones too",
       "<D><X><File FileName=\"1\"/></X><FileInfo><File FileName=\"2\"><File "
       "FileName=\"3\"/></File>"
       "</FileInfo></D>",
       1,
       {{"", "1", ""}, {"", "2", ""}, {"", "3", ""}}},
      {"parse error keeps what came before",
       "<D><FileInfo><File FileName=\"a\" Digest=\"x\"/><File FileName=\"b\"/></Wrong>"
       "<File FileName=\"c\"/></FileInfo></D>",
       2,
       {{"", "a", "x"}, {"", "b", ""}}},
      {"not UTF-8 reads as empty",
       "<FileInfo><File FileName=\"\xff\xfe.dll\" Path=\"ok\"/></FileInfo>",
       1,
       {{"ok", "", ""}}},
      {"no GBK form reads as empty",
       "<FileInfo><File FileName=\"\xf0\x9f\x98\x80.dll\" Path=\"\xe4\xb8\xad\"/></FileInfo>",
       1,
       {{"\xe4\xb8\xad", "", ""}}},
  };
  for (const Case& c : cases) {
    ComponentManifest m = LoadManifest(Write("s.xml", c.xml));
    EXPECT_EQ(m.EntryCount(), c.count) << c.name;
    for (size_t i = 0; i < c.entries.size(); ++i)
      EXPECT_EQ(m.EntryAt(static_cast<int>(i) + 1), c.entries[i]) << c.name << " #" << i + 1;
  }
  ComponentManifest missing = LoadManifest(sandbox_.cwd() + "/none.xml");
  EXPECT_EQ(missing.EntryCount(), 0);
  EXPECT_FALSE(missing.ContainsEntry({}));
}

TEST_F(ManifestTest, FileDigestIsBase64OfSha1) {
  struct Case {
    std::string content;
    const char* digest;
  } cases[] = {
      {"", "2jmj7l5rSw0yVb/vlWAYkK/YBwk="},
      {"hello\n", "9XLTlvrpIGYocU+yzgD3LpTyJY8="},
      {std::string(10000, 'x'), "+MXN55HFBWz1FYgecByKnstDmnU="},
  };
  for (const Case& c : cases) EXPECT_EQ(FileDigest(Write("f", c.content)), c.digest);
  EXPECT_EQ(FileDigest(sandbox_.cwd() + "/missing"), "");
  EXPECT_EQ(FileDigest(sandbox_.cwd()), "");
  const unsigned char bytes[] = {0xfb, 0xff, 0x00, 0x01};
  EXPECT_EQ(Base64(bytes, 1), "+w==");
  EXPECT_EQ(Base64(bytes, 2), "+/8=");
  EXPECT_EQ(Base64(bytes, 3), "+/8A");
  EXPECT_EQ(Base64(bytes, 4), "+/8AAQ==");
}

TEST_F(ManifestTest, ReleaseToolPublishesAndVerifies) {
  const std::string folder = sandbox_.cwd() + "/release";
  std::filesystem::create_directories(folder + "/Plugins/x");
  std::ofstream(folder + "/WebUI_801.exe") << "ui";
  std::ofstream(folder + "/common.dll") << "c";
  std::ofstream(folder + "/Plugins/x/deep.dat") << "deep";
  std::ofstream(folder + "/.hidden") << "h";
  ChildProcess publish;
  ASSERT_TRUE(publish.Start(BinPath("release-tool"), {"publish", folder}, "/", {}));
  ASSERT_EQ(publish.Wait(20000), 0) << publish.Output();
  ComponentManifest common = LoadManifest(folder + "/Digest.xml");
  ComponentManifest bank = LoadManifest(folder + "/Digest_801.xml");
  ASSERT_EQ(common.EntryCount(), 2);
  EXPECT_EQ(common.EntryAt(1),
            (ManifestEntry{"Plugins\\x", "deep.dat", FileDigest(folder + "/Plugins/x/deep.dat")}));
  EXPECT_EQ(common.EntryAt(2).FileName, "common.dll");
  ASSERT_EQ(bank.EntryCount(), 1);
  EXPECT_EQ(bank.EntryAt(1).FileName, "WebUI_801.exe");
  for (const char* name : {"Digest.xml", "Digest_801.xml"}) {
    EXPECT_TRUE(VerifyManifestSignature(folder + "/" + name));
    ChildProcess verify;
    ASSERT_TRUE(verify.Start(BinPath("release-tool"), {"verify", folder + "/" + name}, "/", {}));
    EXPECT_EQ(verify.Wait(20000), 0);
  }
  std::ofstream(folder + "/Digest.xml", std::ios::app) << " ";
  ChildProcess verify;
  ASSERT_TRUE(verify.Start(BinPath("release-tool"), {"verify", folder + "/Digest.xml"}, "/", {}));
  EXPECT_EQ(verify.Wait(20000), 1);
  ChildProcess digest;
  ASSERT_TRUE(digest.Start(BinPath("release-tool"), {"digest", folder + "/common.dll"}, "/", {}));
  EXPECT_EQ(digest.Wait(20000), 0);
  EXPECT_EQ(digest.Output(), FileDigest(folder + "/common.dll") + "\n");
}

}  // namespace
