// UTF-16 string helpers of the runtime: UTF-8 conversion, case mapping and comparison in the
// manner of _wcsicmp, the numeric readers of the C runtime (_wtoi, _wtol, _wtof), trimming and
// BSTR conveniences.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "velluma/wintypes.h"

namespace vwin32 {

// UTF-16 -> UTF-8. An unpaired surrogate becomes U+FFFD.
// Appends the UTF-8 encoding of code point cp (U+FFFD for a surrogate or a value beyond
// U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

std::string ToUtf8(std::u16string_view text);

// UTF-8 -> UTF-16. Each maximal invalid subsequence (stray continuation byte, truncated
// sequence, overlong form, encoded surrogate, value above U+10FFFF, bytes C0, C1, F5..FF)
// becomes one U+FFFD, as the Unicode standard recommends and Windows does. Never throws
// (except std::bad_alloc).
std::u16string FromUtf8(std::string_view text);

// Simple one-unit case mapping of letters: ASCII, Latin-1 (U+00C0..U+00DE <-> U+00E0..U+00FE
// without the multiplication and division signs; U+0178 <-> U+00FF), the cased pairs of Latin
// Extended-A, basic Greek and Cyrillic, and the fullwidth Latin letters. Other units (sharp s,
// dotless i, ...) are returned unchanged.
char16_t ToLower(char16_t c);
char16_t ToUpper(char16_t c);
std::u16string ToLower(std::u16string_view text);
std::u16string ToUpper(std::u16string_view text);

// Like _wcsicmp: units are folded to lower case (ToLower) and compared as unsigned values;
// negative, zero or positive. A string that is a prefix of the other sorts first. The whole
// views are compared (an embedded zero unit is an ordinary unit).
int CompareNoCase(std::u16string_view a, std::u16string_view b);
inline bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

// Length of a zero-terminated UTF-16 string; 0 for a null pointer.
size_t StrLen(const char16_t* s);
// A view of a zero-terminated UTF-16 string; empty for a null pointer.
inline std::u16string_view View(const char16_t* s) {
  return std::u16string_view(s, StrLen(s));
}

// Latin-1 (and so ASCII) bytes to UTF-16, one unit per byte.
std::u16string Widen(std::string_view latin1);

// White space: space, \t \n \v \f \r, U+0085, U+00A0 and the ideographic space U+3000.
bool IsSpace(char16_t c);
// The text without leading and trailing white space.
std::u16string Trim(std::u16string_view text);

// The C runtime's readers: leading white space skipped, an optional sign, decimal digits;
// reading stops at the first other unit; no digits gives 0. ToInt saturates at INT_MIN/INT_MAX
// and ToLong at LONG_MIN/LONG_MAX (64-bit long on Linux) like _wtoi/_wtol. ToDouble reads a
// decimal floating-point number independently of the locale (_wtof); 0.0 when nothing is
// read, +-HUGE_VAL on overflow.
int ToInt(std::u16string_view text);
long ToLong(std::u16string_view text);
double ToDouble(std::u16string_view text);

// The text of a BSTR (SysStringLen units, embedded zeros kept); empty for a null BSTR.
std::u16string FromBstr(BSTR bstr);
// A new BSTR with the text; null when out of memory or too long. Freed with SysFreeString.
BSTR ToBstr(std::u16string_view text);

}  // namespace vwin32
