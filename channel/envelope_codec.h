// The envelope that seals every request to the assistant server and every
// reply: a fresh 24-byte message key encrypts the payload with triple DES
// (CBC), the key travels RSA-encrypted (PKCS#1 v1.5), and a SHA-1 digest
// guards the plaintext. The structure is written as upper-case hexadecimal.
#pragma once

#include <cstddef>
#include <string>

// One RSA key pair as lower-case hexadecimal components.
struct EnvelopeKey {
  std::string n, e, d, p, q, dP, dQ, qInv;
};

// The key pair compiled into this program.
const EnvelopeKey& CompiledEnvelopeKey();
// Reads the "name=hex" lines of a key file's text; false when a component is missing.
bool ParseEnvelopeKey(const std::string& text, EnvelopeKey* key);
// The same text for a key.
std::string FormatEnvelopeKey(const EnvelopeKey& key);

// Writes each byte as two upper-case hexadecimal digits into out (2n chars).
void WriteUpperHex(const unsigned char* data, size_t n, char* out);
// The same as a string.
std::string UpperHex(const void* data, size_t n);

namespace EnvelopeCodec {

// Largest plaintext whose lengths fit the structure's 16-bit length fields.
inline constexpr size_t kMaxPlaintext = 65375;

// Capacity Seal asks for: the sealed text's length plus 10.
size_t SealCapacity(size_t plaintextLength);
// Length of the sealed text of a plaintext: 2P + 324.
size_t SealedLength(size_t plaintextLength);

// Seals `length` bytes of `data`. With no buffer, or a capacity below
// SealCapacity, *size receives the capacity needed and nothing is sealed
// (result 0). Otherwise the text is written to `out` (not terminated) and
// *size receives its length. Returns 0 on success, -1 on failure.
int Seal(const unsigned char* data, size_t length, char* out, size_t* size,
         const EnvelopeKey& key = CompiledEnvelopeKey());
// Convenience form: the whole sealed text, or -1.
int Seal(const std::string& plaintext, std::string* sealed,
         const EnvelopeKey& key = CompiledEnvelopeKey());

// Opens the first n characters of text. The plaintext ends at its first zero
// byte. False on any failure.
bool Open(const char* text, size_t n, std::string* plaintext,
          const EnvelopeKey& key = CompiledEnvelopeKey());
bool Open(const std::string& text, std::string* plaintext,
          const EnvelopeKey& key = CompiledEnvelopeKey());

}  // namespace EnvelopeCodec
