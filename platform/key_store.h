// The registry of the local machine: a hierarchical store of keys with
// string values. Key paths are compared without regard to ASCII case and
// runs of "\" in them read as one; value names too ignore case. Values are
// kept as the bytes of their text, without a terminator. The 32-bit view
// (the default of a 32-bit program) and the 64-bit view are kept apart.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class KeyView { Default, Wow64_64 };

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // Writes a string value (created or replaced).
  virtual bool SetString(const std::string& name, const std::string& value) = 0;
  // Reads a value into a buffer of bufferSize bytes, as RegQueryValueEx
  // does: false when it is missing or its text and terminator do not fit.
  virtual bool GetString(const std::string& name, size_t bufferSize, std::string* value) = 0;
  // Deletes a value; a value that is not there is no error.
  virtual bool DeleteValue(const std::string& name) = 0;
};

struct KeyStoreValue {
  KeyView view = KeyView::Default;
  std::string key;  // path below HKEY_LOCAL_MACHINE, normalised
  std::string name;
  std::string data;
};

class KeyStore {
 public:
  virtual ~KeyStore() = default;
  // Opens a key below HKEY_LOCAL_MACHINE, creating it and its parents when
  // missing (RegCreateKeyEx). Null, with the error, when it cannot.
  virtual std::unique_ptr<RegistryKey> CreateKey(const std::string& path, KeyView view,
                                                 int* error) = 0;
  // Opens an existing key; never creates one. Null when it is missing.
  virtual std::unique_ptr<RegistryKey> OpenKey(const std::string& path, KeyView view) = 0;
  // Every key (with no values: an empty name and data) and every value,
  // sorted by view, key and name; for support tools.
  virtual std::vector<KeyStoreValue> ListAll() = 0;
};

// A key path as the store compares it: runs of "\" as one, none at either end.
std::string NormaliseKeyPath(const std::string& path);

}  // namespace platform
