// Sends a request to the bank's assistant server: seals the payload, tries
// the server addresses in order and returns the first reply's text.
#pragma once

#include <string>

namespace ServerChannel {

// path: placed after the server base and port; data: the plaintext;
// hexData: send the data text as upper-case hexadecimal of its bytes;
// seal: 1 to seal the data first. True when a server answered; response
// then holds its body, otherwise it is left as it was.
bool SendRequest(const std::string& path, const std::string& data, std::string* response,
                 bool hexData, int seal);

}  // namespace ServerChannel
