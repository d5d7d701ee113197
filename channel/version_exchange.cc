#include "channel/version_exchange.h"

#include <json/json.h>

#include <cstdio>
#include <memory>

#include "app/settings.h"
#include "channel/envelope_codec.h"
#include "channel/server_channel.h"
#include "platform/platform.h"

std::string VersionRequestText(unsigned bankId) {
  char text[10] = {0};
  std::snprintf(text, sizeof text, "%x", bankId);
  return text;
}

VersionOutcome ParseVersionAnswer(const std::string& text, VersionAnswer* answer) {
  Json::CharReaderBuilder builder;
  builder["allowComments"] = true;
  builder["collectComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  try {
    // The reader throws on some inputs (nesting deeper than its stack
    // limit); such an answer is no JSON the downloader can use.
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors) || !root.isObject())
      return VersionOutcome::NotJson;
  } catch (const std::exception& e) {
    platform::Debug(std::string("answer rejected by the JSON reader: ") + e.what());
    return VersionOutcome::NotJson;
  }
  VersionAnswer a;
  for (auto [name, field] : {std::pair{"v", &a.v}, {"url", &a.url}, {"update", &a.update}}) {
    const Json::Value& member = root[name];
    if (member.isNull()) continue;
    // Numbers are taken as their text; an array or object is no answer.
    if (!member.isString() && !member.isNumeric()) return VersionOutcome::NotJson;
    try {
      *field = member.asString();
    } catch (const std::exception&) {
      return VersionOutcome::NotJson;
    }
  }
  *answer = a;
  return VersionOutcome::Answer;
}

VersionOutcome VersionExchange(bool diagnostics, VersionAnswer* answer) {
  std::string reply;
  if (!ServerChannel::SendRequest(g_downloadpath.path, VersionRequestText(BankProfile.bankId),
                                  &reply, false, 1) ||
      reply.empty())
    return VersionOutcome::NoAnswer;
  if (diagnostics) platform::Debug("Data:(" + reply + ")");
  std::string plain;
  if (!EnvelopeCodec::Open(reply.data(), reply.size() & ~static_cast<size_t>(1), &plain))
    return VersionOutcome::CannotOpen;
  if (diagnostics) platform::Debug("Data_D:(" + plain + ")");
  return ParseVersionAnswer(plain, answer);
}
