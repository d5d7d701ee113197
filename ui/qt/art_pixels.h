// The packed form of the bank's art: a header and the rows of 32-bit pixels
// in QImage's own layout, so that showing a picture needs no image decoder,
// as with a bitmap resource on Windows. Made at build time on the machine
// that runs it (native byte order).
#pragma once

#include <cstdint>

struct ArtPixelsHeader {
  char magic[4] = {'D', 'L', 'P', 'X'};
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;  // QImage::Format_RGB32 or QImage::Format_ARGB32
};
static_assert(sizeof(ArtPixelsHeader) == 16, "the rows start 16 bytes in, 4-byte aligned");
