#include "channel/server_channel.h"

#include <vector>

#include "app/settings.h"
#include "channel/envelope_codec.h"
#include "channel/http_client.h"
#include "platform/platform.h"

namespace {

std::string HexOf(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(text.size() * 2);
  for (unsigned char c : text) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

}  // namespace

namespace ServerChannel {

bool SendRequest(const std::string& path, const std::string& data, std::string* response,
                 bool hexData, int seal) {
  CHttpClient client;
  platform::Debug("strSendData:(" + data + ")");

  std::string dataText = data;
  if (seal == 1) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    size_t size = 0;
    if (EnvelopeCodec::Seal(bytes, data.size(), nullptr, &size) != 0) return false;
    std::vector<char> buffer(size + 1, '\0');
    if (EnvelopeCodec::Seal(bytes, data.size(), buffer.data(), &size) != 0) return false;
    dataText = buffer.data();  // up to the first zero byte
  }
  const std::string sent = hexData ? HexOf(dataText) : dataText;

  if (g_downloadpath.serverUrls.empty()) {
    std::string url = g_downloadpath.ip + g_downloadpath.port + path + sent;
    return client.Get(url, response) == CHttpClient::Done;
  }
  for (const std::string& base : g_downloadpath.serverUrls) {
    std::string url = base + g_downloadpath.port + path;
    platform::Debug("domain:(" + url + ")");
    if (client.Get(url + sent, response) == CHttpClient::Done) return true;
  }
  return false;
}

}  // namespace ServerChannel
