#include "app/progress_sink.h"

#include <cstdio>

std::string FormatPercent(double pos, double range) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2lf%%", pos * 100 / range);
  return text;
}
