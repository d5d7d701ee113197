// Key folders as the tools read and write them: envelope-key.txt,
// manifest-public.pem and manifest-private.pem.
#pragma once

#include <string>

#include "channel/envelope_codec.h"

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* content);
// Writes a whole file, created (or emptied) with the given permissions.
bool WriteWholeFile(const std::string& path, const std::string& content, unsigned mode = 0644);

// The envelope key of a folder, or the compiled-in key when dir is empty.
bool LoadEnvelopeKey(const std::string& dir, EnvelopeKey* key, std::string* error);

// Makes a complete new key set in dir (created if missing).
bool GenerateKeyFolder(const std::string& dir, std::string* error);
