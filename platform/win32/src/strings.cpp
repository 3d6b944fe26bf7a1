// UTF-16 string helpers.
#include "vwin32/strings.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>

namespace vwin32 {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Mapping between upper and lower case for the scripts listed in the header. Each rule covers
// [first, last] of one case and gives the offset to the other case; "alternating" rules are
// blocks of pairs where one case sits at even and the other at odd code points.
struct CaseRange {
  char16_t first;
  char16_t last;
  int delta;
};

constexpr CaseRange kUpperToLower[] = {
    {0x0041, 0x005A, 32}, {0x00C0, 0x00D6, 32}, {0x00D8, 0x00DE, 32}, {0x0386, 0x0386, 38},
    {0x0388, 0x038A, 37}, {0x038C, 0x038C, 64}, {0x038E, 0x038F, 63}, {0x0391, 0x03A1, 32},
    {0x03A3, 0x03AB, 32}, {0x0400, 0x040F, 80}, {0x0410, 0x042F, 32}, {0xFF21, 0xFF3A, 32},
};

// Pair blocks of Latin Extended-A: {first, last, upperIsEven}.
struct PairRange {
  char16_t first;
  char16_t last;
  bool upperIsEven;
};
constexpr PairRange kPairs[] = {
    {0x0100, 0x012F, true}, {0x0132, 0x0137, true},  {0x0139, 0x0148, false},
    {0x014A, 0x0177, true}, {0x0179, 0x017E, false},
};

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      AppendUtf8(out, cp);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
      out += static_cast<char16_t>(b0);
      ++i;
      continue;
    }
    // Length of the sequence and the valid range of its second byte (which excludes overlong
    // forms, surrogates and values above U+10FFFF).
    int need;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
      cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      cp = b0 & 0x0F;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      cp = b0 & 0x07;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      out += kReplacement;
      ++i;
      continue;
    }
    size_t j = 1;
    bool ok = true;
    for (; j <= static_cast<size_t>(need); ++j) {
      if (i + j >= n) {
        ok = false;
        break;
      }
      const unsigned char b = static_cast<unsigned char>(text[i + j]);
      const unsigned char l = j == 1 ? lo : 0x80;
      const unsigned char h = j == 1 ? hi : 0xBF;
      if (b < l || b > h) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok) {
      // The lead byte and the valid continuation bytes seen so far form one bad subsequence.
      out += kReplacement;
      i += j;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += need + 1;
  }
  return out;
}

char16_t ToLower(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  for (const CaseRange& r : kUpperToLower) {
    if (c >= r.first && c <= r.last) return static_cast<char16_t>(c + r.delta);
  }
  for (const PairRange& p : kPairs) {
    if (c >= p.first && c <= p.last) {
      const bool isUpper = ((c % 2) == 0) == p.upperIsEven;
      return isUpper ? static_cast<char16_t>(c + 1) : c;
    }
  }
  if (c == 0x0178) return 0x00FF;
  return c;
}

char16_t ToUpper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  for (const CaseRange& r : kUpperToLower) {
    if (c >= r.first + r.delta && c <= r.last + r.delta) return static_cast<char16_t>(c - r.delta);
  }
  for (const PairRange& p : kPairs) {
    if (c >= p.first && c <= p.last) {
      const bool isUpper = ((c % 2) == 0) == p.upperIsEven;
      return isUpper ? c : static_cast<char16_t>(c - 1);
    }
  }
  if (c == 0x00FF) return 0x0178;
  if (c == 0x03C2) return 0x03A3;  // final sigma
  return c;
}

std::u16string ToUpper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = ToUpper(c);
  return out;
}

std::u16string ToLower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = ToLower(c);
  return out;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = ToLower(a[i]);
    const int cb = ToLower(b[i]);
    if (ca != cb) return ca - cb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

size_t StrLen(const char16_t* s) {
  if (!s) return 0;
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

std::u16string Widen(std::string_view latin1) {
  std::u16string out(latin1.size(), u'\0');
  for (size_t i = 0; i < latin1.size(); ++i) {
    out[i] = static_cast<unsigned char>(latin1[i]);
  }
  return out;
}

bool IsSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x3000;
}

std::u16string Trim(std::u16string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsSpace(text[b])) ++b;
  while (e > b && IsSpace(text[e - 1])) --e;
  return std::u16string(text.substr(b, e - b));
}

namespace {

// Leading white space and sign; returns the index of the first digit position.
size_t SkipSpaceAndSign(std::u16string_view text, bool& negative) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  return i;
}

template <typename T>
T ParseInteger(std::u16string_view text) {
  bool negative;
  size_t i = SkipSpaceAndSign(text, negative);
  // Accumulate the magnitude; saturate once it passes the type's range.
  using U = std::make_unsigned_t<T>;
  const U limit = negative ? static_cast<U>(std::numeric_limits<T>::max()) + 1u
                           : static_cast<U>(std::numeric_limits<T>::max());
  U value = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const unsigned digit = text[i] - u'0';
    if (value > (limit - digit) / 10u) {
      overflow = true;
      break;
    }
    value = value * 10u + digit;
  }
  if (overflow) return negative ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
  if (!negative) return static_cast<T>(value);
  if (value == limit) return std::numeric_limits<T>::min();
  return -static_cast<T>(value);
}

}  // namespace

int ToInt(std::u16string_view text) {
  return ParseInteger<int>(text);
}
long ToLong(std::u16string_view text) {
  return ParseInteger<long>(text);
}

double ToDouble(std::u16string_view text) {
  bool negative;
  size_t i = SkipSpaceAndSign(text, negative);
  // Only ASCII can belong to a number: copy the plausible prefix and let from_chars (which is
  // independent of the locale) decide how much of it is the number.
  std::string ascii;
  for (; i < text.size() && text[i] < 0x80 && text[i] > u' '; ++i) {
    ascii += static_cast<char>(text[i]);
    if (ascii.size() > 400) break;
  }
  if (!ascii.empty() && (ascii[0] == '+' || ascii[0] == '-')) return 0.0;
  double value = 0.0;
  auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (res.ec == std::errc::invalid_argument) return 0.0;
  if (res.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on overflow or underflow; report what strtod would.
    const size_t e = ascii.find_first_of("eE");
    const bool tiny = e != std::string::npos && e + 1 < ascii.size() && ascii[e + 1] == '-';
    value = tiny ? 0.0 : HUGE_VAL;
  }
  return negative ? -value : value;
}

std::u16string FromBstr(BSTR bstr) {
  if (!bstr) return std::u16string();
  return std::u16string(bstr, SysStringLen(bstr));
}

BSTR ToBstr(std::u16string_view text) {
  if (text.size() > UINT_MAX / 4) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

}  // namespace vwin32
