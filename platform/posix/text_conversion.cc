#include <iconv.h>

#include "platform/text.h"

namespace platform {

std::string NarrowFromUtf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string in = utf8;
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  // Narrow strings are UTF-8 here: the conversion only checks the text.
  return rc == static_cast<size_t>(-1) || inLeft != 0 ? std::string() : utf8;
}

}  // namespace platform
