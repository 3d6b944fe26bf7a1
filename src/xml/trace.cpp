#include "xml/trace.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "vwin32/strings.h"

namespace velluma {

bool DebugTraceEnabled() {
  return std::getenv("VELLUMA_DEBUG") != nullptr;
}

void DebugTrace(std::u16string_view text) {
  if (!DebugTraceEnabled()) return;
  const std::string utf8 = vwin32::ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

}  // namespace velluma
