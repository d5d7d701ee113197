#include "channel/server_channel.h"

#include <vector>

#include "app/settings.h"
#include "channel/envelope_codec.h"
#include "channel/http_client.h"
#include "platform/platform.h"

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
  const std::string sent = hexData ? UpperHex(dataText.data(), dataText.size()) : dataText;

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
