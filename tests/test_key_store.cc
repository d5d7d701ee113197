// One suite over both implementations of the key store contract: the
// SQLite store of the machine and the in-memory fake the other tests use.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/posix_services.h"
#include "tests/fake_key_store.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;
using platform::KeyView;

namespace {

class KeyStoreContract : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    root_ = std::make_unique<ScopedEnv>("DOWNLOADER_ROOT", sandbox_.root());
    if (GetParam()) {
      store_ = &sqlite_;
    } else {
      store_ = &fake_;
    }
  }
  std::unique_ptr<platform::RegistryKey> Create(const std::string& path,
                                                KeyView view = KeyView::Default) {
    int error = 0;
    return store_->CreateKey(path, view, &error);
  }
  std::string Read(const std::string& path, const std::string& name, size_t size = 260,
                   KeyView view = KeyView::Default) {
    auto key = store_->OpenKey(path, view);
    std::string value;
    if (!key) return "<no key>";
    return key->GetString(name, size, &value) ? value : "<missing>";
  }
  Sandbox sandbox_;
  std::unique_ptr<ScopedEnv> root_;
  platform::PosixKeyStore sqlite_;
  FakeKeyStore fake_;
  platform::KeyStore* store_ = nullptr;
};

TEST_P(KeyStoreContract, ValuesAreReadBackThroughAnySpellingOfTheirKey) {
  auto key = Create("Software\\\\Vaultrel\\WebUI\\NAVRO\\801");
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->SetString("Version", "1.0.0.12"));
  EXPECT_TRUE(key->SetString("Path", "/opt/安装"));
  key.reset();
  EXPECT_EQ(Read("Software\\\\Vaultrel\\WebUI\\NAVRO\\801", "Version"), "1.0.0.12");
  EXPECT_EQ(Read("SOFTWARE\\vaultrel\\\\\\webui\\navro\\801\\", "VERSION"), "1.0.0.12");
  EXPECT_EQ(Read("Software\\Vaultrel\\WebUI\\NAVRO\\801", "Path"), "/opt/安装");
  // Parents exist as keys of their own; the views are apart.
  EXPECT_EQ(Read("Software\\Vaultrel\\WebUI\\NAVRO", "Version"), "<missing>");
  EXPECT_EQ(Read("Software\\Vaultrel\\WebUI\\NAVRO\\801", "Version", 260, KeyView::Wow64_64),
            "<no key>");
  // A value is replaced whole; deleting a missing one is no error.
  key = Create("software\\vaultrel\\webui\\navro\\801");
  EXPECT_TRUE(key->SetString("version", "2"));
  EXPECT_EQ(Read("Software\\Vaultrel\\WebUI\\NAVRO\\801", "Version"), "2");
  EXPECT_TRUE(key->DeleteValue("Version"));
  EXPECT_TRUE(key->DeleteValue("Version"));
  EXPECT_EQ(Read("Software\\Vaultrel\\WebUI\\NAVRO\\801", "Version"), "<missing>");
}

TEST_P(KeyStoreContract, ReadersNeverCreateAnything) {
  EXPECT_FALSE(store_->OpenKey("Software\\Nothing", KeyView::Default));
  EXPECT_FALSE(store_->OpenKey("Software\\Nothing", KeyView::Default));
  EXPECT_TRUE(store_->ListAll().empty());
  if (GetParam()) {
    EXPECT_FALSE(fs::exists(sandbox_.root() + "/etc/downloader/registry.db"));
  }
}

TEST_P(KeyStoreContract, ValuesMustFitTheReadersBufferWithTheirTerminator) {
  auto key = Create("K");
  key->SetString("259", std::string(259, 'x'));
  key->SetString("260", std::string(260, 'x'));
  key->SetString("empty", "");
  EXPECT_EQ(Read("K", "259").size(), 259u);
  EXPECT_EQ(Read("K", "260"), "<missing>");
  EXPECT_EQ(Read("K", "260", 261).size(), 260u);
  EXPECT_EQ(Read("K", "empty"), "");
  // Stored as its bytes, without a terminator: the empty text has none.
  for (const platform::KeyStoreValue& v : store_->ListAll()) {
    if (v.name == "empty") {
      EXPECT_EQ(v.data.size(), 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, KeyStoreContract, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Sqlite" : "Fake"; });

TEST(SqliteKeyStore, TwoProcessesWritingAtOnceLoseNothing) {
  Sandbox sandbox;
  ScopedEnv root("DOWNLOADER_ROOT", sandbox.root());
  constexpr int kValues = 150;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    pid_t pid = fork();
    if (pid == 0) {
      platform::PosixKeyStore store;
      bool ok = true;
      for (int i = 0; i < kValues && ok; ++i) {
        int error = 0;
        // Shared keys and keys of its own, each write its own transaction.
        auto key = store.CreateKey(i % 2 ? "Shared\\Key" : "Writer" + std::to_string(writer),
                                   KeyView::Default, &error);
        ok = key && key->SetString("v" + std::to_string(writer) + "_" + std::to_string(i), "x");
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  platform::PosixKeyStore store;
  int values = 0;
  for (const platform::KeyStoreValue& v : store.ListAll())
    if (!v.name.empty()) ++values;
  EXPECT_EQ(values, 2 * kValues);
}

}  // namespace
