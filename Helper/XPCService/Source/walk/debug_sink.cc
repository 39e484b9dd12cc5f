#include "walk/debug_sink.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void MyDebugMessage(const char* /*text*/, int /*value*/) {}

namespace zv {

void FormatDebugMessage(const char* format, ...) {
  std::memset(sDEBUGmsg, 0, sizeof sDEBUGmsg);
  va_list args;
  va_start(args, format);
  std::vsnprintf(sDEBUGmsg, sizeof sDEBUGmsg, format, args);
  va_end(args);
}

}  // namespace zv
