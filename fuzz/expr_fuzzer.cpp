// Configured expressions: the input is "expression\ntext" (UTF-8); the expression is searched
// for in the text as recognition does, and the numeral readers run over the text.
#include <cstdint>
#include <string>
#include <string_view>

#include "harness.h"
#include "pageinfo/pageinfo.h"
#include "vwin32/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t cut = bytes.find('\n');
  if (cut == std::string_view::npos) return 0;
  const std::u16string expression = vwin32::FromUtf8(bytes.substr(0, cut));
  std::u16string text = vwin32::FromUtf8(bytes.substr(cut + 1));
  int start = -1, end = -1;
  if (CPageInfo::RegexSearch(text, expression, start, end)) {
    if (start < 0 || end < start || end > static_cast<int>(text.size())) __builtin_trap();
  }
  CPageInfo::NormaliseDigits(text);
  CPageInfo::ParseChineseNumber(text);
  return 0;
}
