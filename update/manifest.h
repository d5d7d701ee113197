// The signed component manifests: "Digest.xml" for every bank and
// "Digest_%03x.xml" for this bank. Each lists component files by folder,
// name and content digest, and carries an RSA signature over its own text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

enum class ManifestKind { Common = 0, Bank = 1 };

// "Digest.xml", or "Digest_%03x.xml" of the bank id.
std::string ManifestFileName(ManifestKind kind, uint32_t bankId);

struct ManifestEntry {
  std::string Path;  // folder below the install folder, "\" between levels
  std::string FileName;
  std::string Digest;  // FileDigest of the file's bytes
  bool operator==(const ManifestEntry&) const = default;
};

// A read-only view of one manifest, with its values already converted to
// the narrow code page.
class ComponentManifest {
 public:
  // Number of element children of the first "FileInfo" element.
  int EntryCount() const { return entryCount_; }
  // The i-th "File" element (1-based) in document order; empty fields when
  // there is none.
  ManifestEntry EntryAt(int i) const;
  // True when EntryAt(i) equals e for some i in 1..EntryCount; answered
  // from an index built once when the manifest is loaded.
  bool ContainsEntry(const ManifestEntry& e) const;

 private:
  friend ComponentManifest LoadManifest(const std::string& path);
  void BuildIndex();
  int entryCount_ = 0;
  std::vector<ManifestEntry> files_;  // every "File" element, in document order
  std::unordered_set<std::string> index_;
};

// Reads a manifest. A missing file gives an empty manifest; a file the XML
// parser rejects keeps the elements read before the error.
ComponentManifest LoadManifest(const std::string& path);

// The 273-byte signature block placed right before the document's last "<".
inline constexpr size_t kSignatureBlockSize = 273;

// True when the manifest's signature block is present and valid under the
// compiled-in manifest key.
bool VerifyManifestSignature(const std::string& path);
// The same under a given PEM "RSA PUBLIC KEY".
bool VerifyManifestSignature(const std::string& path, const std::string& publicKeyPem);

// A manifest value as the program reads it: text that is not valid UTF-8, or
// has no form in the narrow (GBK) code page, reads as empty.
std::string NarrowText(const char* utf8);
