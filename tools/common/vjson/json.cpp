#include "vjson/json.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "vwin32/strings.h"

namespace vjson {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendEscaped(std::string& out, char32_t cp, const Escaping& escaping) {
  switch (cp) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      if (!escaping.shortControls) break;
      out += "\\b";
      return;
    case '\f':
      if (!escaping.shortControls) break;
      out += "\\f";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (cp < 0x20 || (cp == 0x7F && escaping.escapeDelete)) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[(cp >> 4) & 0xF];
    out += kHex[cp & 0xF];
    return;
  }
  AppendUtf8(out, cp);
}

// Decodes one UTF-8 sequence starting at s[i]; advances i past it. A malformed sequence
// (bad lead byte, truncated, overlong, surrogate, beyond U+10FFFF) consumes one byte and
// yields U+FFFD.
char32_t DecodeUtf8(std::string_view s, size_t& i) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (s.size() - i < static_cast<size_t>(len)) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += len;
  return cp;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view utf8, const Escaping& escaping) {
  out += '"';
  for (size_t i = 0; i < utf8.size();) {
    if (!escaping.repairUtf8 && static_cast<uint8_t>(utf8[i]) >= 0x80)
      out += utf8[i++];
    else
      AppendEscaped(out, DecodeUtf8(utf8, i), escaping);
  }
  out += '"';
}

void AppendJsonString(std::string& out, std::u16string_view s) {
  AppendJsonString(out, std::string_view(vwin32::ToUtf8(s)));
}

std::string JsonString(std::u16string_view s) {
  std::string out;
  AppendJsonString(out, s);
  return out;
}

std::string JsonString(std::string_view utf8, const Escaping& escaping) {
  std::string out;
  AppendJsonString(out, utf8, escaping);
  return out;
}

std::string JsonNumber(double v, int decimals) {
  if (!std::isfinite(v)) return "null";
  if (decimals < 0) decimals = 0;
  if (decimals > 17) decimals = 17;
  // Fixed notation of the largest double takes 309 digits before the point.
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return "null";
  std::string s(buf, res.ptr);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

}  // namespace vjson
