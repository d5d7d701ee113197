// The registry's stand-in: one SQLite database below the machine's
// configuration folder, safe for several processes at once (each write is
// a transaction; a busy database is waited for).
#include <sqlite3.h>

#include <cerrno>

#include "platform/posix/posix_services.h"

namespace platform {
namespace {

constexpr int kBusyWaitMs = 10000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys(view INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
    " PRIMARY KEY(view, path));"
    "CREATE TABLE IF NOT EXISTS key_values(view INTEGER NOT NULL,"
    " path TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE, data BLOB NOT NULL,"
    " PRIMARY KEY(view, path, name));";

int ViewNumber(KeyView view) { return view == KeyView::Wow64_64 ? 64 : 32; }

std::string DatabasePath() {
  return Sys().locations->MachineConfigDir() + "/downloader/registry.db";
}

// One connection, closed with the object.
class Database {
 public:
  // Opens the database; with create, makes it (and its folder) if missing.
  bool Open(bool create) {
    const std::string path = DatabasePath();
    if (create) MakeFolders(path.substr(0, path.rfind('/')), 0755);
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) return false;
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    return !create || Exec(kSchema);
  }
  ~Database() { sqlite3_close(db_); }

  bool Exec(const char* sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) Debug(std::string("key store: ") + (error ? error : sqlite3_errstr(rc)));
    sqlite3_free(error);
    return rc == SQLITE_OK;
  }

  // Runs one statement, binding the view (unless 0) and the parameters as
  // text, the last one as bytes when lastIsData (names compare as text,
  // without case; data is kept as it is). Calls row for each result row.
  template <typename Row>
  bool Run(const char* sql, std::initializer_list<std::string> params, int view, Row&& row,
           bool lastIsData = false) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
      Debug(std::string("key store: ") + sqlite3_errmsg(db_));
      return false;
    }
    int i = 1;
    if (view) sqlite3_bind_int(stmt, i++, view);
    size_t k = 0;
    for (const std::string& p : params) {
      if (lastIsData && ++k == params.size()) {
        sqlite3_bind_blob(stmt, i++, p.data(), static_cast<int>(p.size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_text(stmt, i++, p.data(), static_cast<int>(p.size()), SQLITE_TRANSIENT);
      }
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) row(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) Debug(std::string("key store: ") + sqlite3_errstr(rc));
    return rc == SQLITE_DONE;
  }
  bool Run(const char* sql, std::initializer_list<std::string> params, int view) {
    return Run(sql, params, view, [](sqlite3_stmt*) {});
  }

 private:
  sqlite3* db_ = nullptr;
};

std::string Column(sqlite3_stmt* stmt, int i) {
  const void* data = sqlite3_column_blob(stmt, i);
  int size = sqlite3_column_bytes(stmt, i);
  return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
              : std::string();
}

bool KeyExists(Database& db, const std::string& path, int view) {
  bool found = false;
  db.Run("SELECT 1 FROM keys WHERE view = ? AND path = ?", {path}, view,
         [&](sqlite3_stmt*) { found = true; });
  return found;
}

class SqliteKey : public RegistryKey {
 public:
  SqliteKey(std::unique_ptr<Database> db, std::string path, int view)
      : db_(std::move(db)), path_(std::move(path)), view_(view) {}

  bool SetString(const std::string& name, const std::string& value) override {
    return db_->Run(
        "INSERT OR REPLACE INTO key_values(view, path, name, data) VALUES(?, ?, ?, ?)",
        {path_, name, value}, view_, [](sqlite3_stmt*) {}, /*lastIsData=*/true);
  }
  bool GetString(const std::string& name, size_t bufferSize, std::string* value) override {
    bool found = false;
    std::string data;
    db_->Run("SELECT data FROM key_values WHERE view = ? AND path = ? AND name = ?", {path_, name},
             view_, [&](sqlite3_stmt* s) {
               data = Column(s, 0);
               found = true;
             });
    // The text and its terminator must fit the caller's buffer.
    if (!found || data.size() + 1 > bufferSize) return false;
    *value = data;
    return true;
  }
  bool DeleteValue(const std::string& name) override {
    return db_->Run("DELETE FROM key_values WHERE view = ? AND path = ? AND name = ?",
                    {path_, name}, view_);
  }

 private:
  std::unique_ptr<Database> db_;
  std::string path_;
  int view_;
};

}  // namespace

std::string NormaliseKeyPath(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::unique_ptr<RegistryKey> PosixKeyStore::CreateKey(const std::string& path, KeyView view,
                                                      int* error) {
  const std::string key = NormaliseKeyPath(path);
  const int v = ViewNumber(view);
  auto db = std::make_unique<Database>();
  bool ok = !key.empty() && db->Open(true) && db->Exec("BEGIN IMMEDIATE");
  // The key and every parent of it, in one transaction.
  for (size_t at = 0; ok; at = key.find('\\', at + 1)) {
    ok = db->Run("INSERT OR IGNORE INTO keys(view, path) VALUES(?, ?)",
                 {at == std::string::npos ? key : key.substr(0, at)}, v);
    if (at == std::string::npos) break;
  }
  ok = ok && db->Exec("COMMIT");
  if (!ok) {
    if (error) *error = EACCES;
    return nullptr;
  }
  return std::make_unique<SqliteKey>(std::move(db), key, v);
}

std::unique_ptr<RegistryKey> PosixKeyStore::OpenKey(const std::string& path, KeyView view) {
  const std::string key = NormaliseKeyPath(path);
  auto db = std::make_unique<Database>();
  // A reader never creates anything, not even the database.
  if (key.empty() || !db->Open(false) || !KeyExists(*db, key, ViewNumber(view))) return nullptr;
  return std::make_unique<SqliteKey>(std::move(db), key, ViewNumber(view));
}

std::vector<KeyStoreValue> PosixKeyStore::ListAll() {
  std::vector<KeyStoreValue> all;
  Database db;
  if (!db.Open(false)) return all;
  db.Run(
      "SELECT k.view, k.path, v.name, v.data FROM keys k LEFT JOIN key_values v"
      " ON v.view = k.view AND v.path = k.path ORDER BY k.view, k.path, v.name",
      {}, 0, [&](sqlite3_stmt* s) {
        KeyStoreValue value;
        value.view = sqlite3_column_int(s, 0) == 64 ? KeyView::Wow64_64 : KeyView::Default;
        value.key = Column(s, 1);
        value.name = Column(s, 2);
        value.data = Column(s, 3);
        all.push_back(value);
      });
  return all;
}

}  // namespace platform
