// JSON text helpers shared by the tools and the test support: string escaping and compact
// number formatting.
#pragma once

#include <string>
#include <string_view>

#include "vwin32/strings.h"

namespace vjson {

// How a string is escaped. Quotes, backslashes, \n, \r, \t and the other characters below
// U+0020 are always escaped; the defaults are the strictest form, the other settings keep the
// established output of existing files.
struct Escaping {
  bool shortControls = true;  // \b and \f; otherwise \u0008 and \u000c
  bool escapeDelete = true;   // U+007F as \u007f; otherwise as it is
  bool repairUtf8 = true;     // each malformed UTF-8 byte becomes U+FFFD; otherwise copied as is
};

// Appends s as a quoted JSON string in UTF-8. Everything not escaped is written as UTF-8, so
// characters beyond the BMP are one 4-byte sequence, never a \u surrogate pair. A malformed
// UTF-8 byte is a bad lead or continuation byte, or part of a truncated, overlong, surrogate or
// beyond-U+10FFFF sequence. UTF-16 input is converted with vwin32::ToUtf8, which turns a lone
// surrogate into U+FFFD.
void AppendJsonString(std::string& out, std::string_view utf8, const Escaping& escaping = {});
void AppendJsonString(std::string& out, std::u16string_view s);

// Returns the quoted JSON string for s.
std::string JsonString(std::u16string_view s);
std::string JsonString(std::string_view utf8, const Escaping& escaping = {});

// Formats v with at most `decimals` digits after the point and no trailing zeros
// ("12", "0.5", "-3.125"); -0 prints as "0". JSON has no NaN or infinity: those print "null".
std::string JsonNumber(double v, int decimals = 3);

// Appends the UTF-8 encoding of code point cp (U+FFFD when cp is a surrogate or beyond
// U+10FFFF).
using vwin32::AppendUtf8;

}  // namespace vjson
