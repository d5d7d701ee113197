// The content digest the manifests carry: Base64 of the SHA-1 of a file's
// bytes, 28 characters.
#pragma once

#include <string>

// Empty text when the file does not exist or cannot be read.
std::string FileDigest(const std::string& path);

// Lower-case hex SHA-256 of a file's bytes; empty when it cannot be read.
std::string FileSha256(const std::string& path);
// Base64 (standard alphabet, "=" padding) of bytes.
std::string Base64(const unsigned char* data, size_t length);
