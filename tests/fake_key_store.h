// An in-memory key store with the same contract as the SQLite one.
#pragma once

#include <strings.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/key_store.h"

class FakeKeyStore : public platform::KeyStore {
 public:
  struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const {
      return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
  };
  using Values = std::map<std::string, std::string, NoCase>;
  struct KeyLess {
    bool operator()(const std::pair<int, std::string>& a,
                    const std::pair<int, std::string>& b) const {
      if (a.first != b.first) return a.first < b.first;
      return NoCase()(a.second, b.second);
    }
  };
  using Keys = std::map<std::pair<int, std::string>, Values, KeyLess>;

  class Key : public platform::RegistryKey {
   public:
    Key(FakeKeyStore* store, std::pair<int, std::string> id) : store_(store), id_(std::move(id)) {}
    bool SetString(const std::string& name, const std::string& value) override {
      std::lock_guard<std::mutex> lock(store_->mutex_);
      if (store_->failWrites) return false;
      store_->keys_[id_].erase(name);
      store_->keys_[id_][name] = value;
      return true;
    }
    bool GetString(const std::string& name, size_t size, std::string* value) override {
      std::lock_guard<std::mutex> lock(store_->mutex_);
      auto& values = store_->keys_[id_];
      auto it = values.find(name);
      if (it == values.end() || it->second.size() + 1 > size) return false;
      *value = it->second;
      return true;
    }
    bool DeleteValue(const std::string& name) override {
      std::lock_guard<std::mutex> lock(store_->mutex_);
      store_->keys_[id_].erase(name);
      return true;
    }

   private:
    FakeKeyStore* store_;
    std::pair<int, std::string> id_;
  };

  std::unique_ptr<platform::RegistryKey> CreateKey(const std::string& path, platform::KeyView view,
                                                   int* error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string key = platform::NormaliseKeyPath(path);
    if (key.empty() || refuse.count(key)) {
      if (error) *error = 5;
      return nullptr;
    }
    for (size_t at = 0;; at = key.find('\\', at + 1)) {
      keys_[{View(view), at == std::string::npos ? key : key.substr(0, at)}];
      if (at == std::string::npos) break;
    }
    return std::make_unique<Key>(this, std::make_pair(View(view), key));
  }
  std::unique_ptr<platform::RegistryKey> OpenKey(const std::string& path,
                                                 platform::KeyView view) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string key = platform::NormaliseKeyPath(path);
    if (!keys_.count({View(view), key})) return nullptr;
    return std::make_unique<Key>(this, std::make_pair(View(view), key));
  }
  std::vector<platform::KeyStoreValue> ListAll() override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<platform::KeyStoreValue> all;
    for (const auto& [id, values] : keys_) {
      auto view = id.first == 64 ? platform::KeyView::Wow64_64 : platform::KeyView::Default;
      if (values.empty()) all.push_back({view, id.second, "", ""});
      for (const auto& [name, data] : values) all.push_back({view, id.second, name, data});
    }
    return all;
  }

  // The value, or "<missing>".
  std::string Get(const std::string& key, const std::string& name,
                  platform::KeyView view = platform::KeyView::Default) {
    auto k = OpenKey(key, view);
    std::string v;
    return k && k->GetString(name, 1 << 20, &v) ? v : "<missing>";
  }

  std::set<std::string> refuse;  // keys that cannot be created
  bool failWrites = false;

 private:
  static int View(platform::KeyView v) { return v == platform::KeyView::Wow64_64 ? 64 : 32; }
  std::mutex mutex_;
  Keys keys_;
};
