// printf-style formatting into UTF-16, as the Windows wide printf family (swprintf,
// CString::Format) does it, with the text of every numeric conversion exactly as the C
// library prints it (numeric conversions are delegated to snprintf in the "C" locale).
//
//   %s %ls %ws   a const char16_t* (UTF-16); a null pointer prints "(null)"
//   %hs %S       a const char* in the thread ANSI code page (GBK), converted to UTF-16
//   %c %lc %wc   one UTF-16 unit passed as int
//   %hc %C       one ANSI byte passed as int
//   %d %i %u %o %x %X %f %F %e %E %g %G %a %A %p   as snprintf, with the flags (- + space # 0 '),
//                width and precision ('*' included) and the length modifiers hh h l ll q L j z t
//                and Microsoft's I I32 I64
//   %%           a percent sign
//   %n           the pointer argument is consumed and nothing is stored
// Width and precision of %s and %c count UTF-16 units; padding is with spaces (the 0 flag does
// not pad strings, as in glibc). An unknown conversion, or a directive cut short by the end
// of the format, is copied as written. A width or precision above 1,000,000 prints nothing for
// that conversion (its argument is still consumed). Positional arguments (%1$d) are not
// supported. Arguments must have the types above: long is 64 bits on Linux, so %ld takes a long
// and %I64d or %lld a long long.
#pragma once

#include <cstdarg>
#include <string>

namespace vwin32 {

std::u16string Format(const char16_t* fmt, ...);
std::u16string FormatV(const char16_t* fmt, va_list args);

}  // namespace vwin32
