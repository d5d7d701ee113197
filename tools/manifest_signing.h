// Writing and signing component manifests.
#pragma once

#include <string>
#include <vector>

#include "update/manifest.h"

// The unsigned manifest document listing the entries.
std::string ManifestDocument(const std::vector<ManifestEntry>& entries);

// Signs a document with a PEM private key: the SHA-1 of the document inside
// PKCS#1 type-1 padding, placed as a 273-byte Sign block before its last "<".
bool SignManifestText(const std::string& document, const std::string& privateKeyPem,
                      std::string* signedText, std::string* error);

// Entries for every file below folder (manifests and hidden names skipped):
// names carrying the bank's "_%03x" tag go to the bank manifest, all others
// to the common one.
bool CollectManifestEntries(const std::string& folder, unsigned bankId,
                            std::vector<ManifestEntry>* common, std::vector<ManifestEntry>* bank,
                            std::string* error);
