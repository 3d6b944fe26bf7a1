// Kinds of characters, as the references, the matcher's second opinion and the benchmark tell
// them apart.
#pragma once

namespace glyphrec {

inline bool InRange(char32_t c, char32_t lo, char32_t hi) {
  return c >= lo && c <= hi;
}

// Ideographs of the unified block and its extension A.
inline bool IsIdeograph(char32_t c) {
  return InRange(c, 0x4E00, 0x9FFF) || InRange(c, 0x3400, 0x4DBF);
}

// Latin letters and digits, ASCII and full-width.
inline bool IsLatinOrDigit(char32_t c) {
  return InRange(c, u'0', u'9') || InRange(c, u'A', u'Z') || InRange(c, u'a', u'z') ||
         InRange(c, 0xFF10, 0xFF19) || InRange(c, 0xFF21, 0xFF3A) || InRange(c, 0xFF41, 0xFF5A);
}

inline bool IsKana(char32_t c) {
  return InRange(c, 0x3040, 0x30FF);
}

// Punctuation and symbols: all the rest.
inline bool IsMark(char32_t c) {
  return !IsIdeograph(c) && !IsLatinOrDigit(c) && !IsKana(c);
}

}  // namespace glyphrec
