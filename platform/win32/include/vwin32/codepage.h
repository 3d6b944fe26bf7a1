// The thread ANSI code page: always Windows code page 936 (Simplified Chinese, GBK).
//
// Conversions run through glibc's iconv converter "GBK" (glibc lists "CP936" as an alias of
// it; it maps 0x80 to the euro sign as code page 936 does). Where glibc's table has no entry,
// the mappings that Windows' code page 936 has are supplied from built-in tables: the
// user-defined areas (AAA1-AFFE, F8A1-FEFE, A140-A7A0) and the other unassigned double-byte
// codes map to and from the private use area U+E000..U+E864, the single byte 0xFF to and from
// U+F8F5, and the encoding direction has Windows' best-fit mappings (U+00C0 -> A8A4 'a grave',
// U+00B2 -> '2', ...). Together they reproduce ICU's "windows-936-2000" converter exactly
// (tools/gen_cp936_tables.cpp).
//
// Failures, without ever throwing (except std::bad_alloc) or looping:
//   AnsiToUnicode: a lead byte (81..FE) at the end of the input, or followed by a byte that
//   cannot follow it (00..3F, 7F, FF), becomes kAnsiInvalidChar (U+FFFD) and only the lead
//   byte is consumed, so that a following ASCII byte is kept.
//   UnicodeToAnsi: a unit without a mapping becomes kAnsiDefaultChar ('?'); a surrogate pair
//   (GBK has no characters beyond the BMP) or an unpaired surrogate gives one '?'.
// Thread-safe: iconv descriptors are per thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vwin32 {

constexpr unsigned kAnsiCodePage = 936;
constexpr char16_t kAnsiInvalidChar = u'\uFFFD';
constexpr char kAnsiDefaultChar = '?';

std::u16string AnsiToUnicode(std::string_view bytes);
std::string UnicodeToAnsi(std::u16string_view text);

// One character by its code: a single byte (below 0x100) or a double-byte code with the lead
// byte in the high 8 bits (0xD6D0 is U+4E2D). kAnsiInvalidChar when the code is no character.
char16_t AnsiCodeToUnicode(uint16_t code);
// The code of one unit in the same form; kAnsiDefaultChar ('?') when it has none.
uint16_t UnicodeToAnsiCode(char16_t ch);

// True for the bytes that begin a double-byte character (0x81..0xFE).
inline bool IsAnsiLeadByte(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

}  // namespace vwin32
