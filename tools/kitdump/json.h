// JSON text helpers of the kit dump: string escaping and compact number formatting.
#pragma once

#include <string>
#include <string_view>

#include "vwin32/strings.h"

namespace kitdump {

// Appends s as a quoted JSON string in UTF-8. Quotes, backslashes and control characters
// (U+0000..U+001F, U+007F) are escaped; everything else is written as UTF-8, so characters
// beyond the BMP are one 4-byte sequence, never a \u surrogate pair. For UTF-8 input each
// malformed byte (bad lead or continuation byte, truncated, overlong, encoded surrogate, beyond
// U+10FFFF) becomes U+FFFD; UTF-16 input is converted with vwin32::ToUtf8, which turns a lone
// surrogate into U+FFFD.
void AppendJsonString(std::string& out, std::string_view utf8);
void AppendJsonString(std::string& out, std::u16string_view s);

// Returns the quoted JSON string for s.
std::string JsonString(std::u16string_view s);
std::string JsonString(std::string_view utf8);

// Formats v with at most `decimals` digits after the point and no trailing zeros
// ("12", "0.5", "-3.125"); -0 prints as "0". JSON has no NaN or infinity: those print "null".
std::string JsonNumber(double v, int decimals = 3);

// Appends the UTF-8 encoding of code point cp (U+FFFD when cp is a surrogate or beyond
// U+10FFFF).
using vwin32::AppendUtf8;

}  // namespace kitdump
