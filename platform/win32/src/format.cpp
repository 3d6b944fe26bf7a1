// printf-style formatting into UTF-16. Each conversion directive is parsed, its argument
// fetched with the right type, and numeric conversions are rebuilt as a narrow directive
// for snprintf so that the text is exactly the C library's.
#include "vwin32/format.h"

#include <locale.h>
#include <sys/types.h>
#include <climits>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "vwin32/codepage.h"
#include "vwin32/strings.h"

namespace vwin32 {

namespace {

constexpr int kMaxWidth = 1000000;

enum class Length {
  kNone,
  kChar,
  kShort,
  kLong,
  kLongLong,
  kLongDouble,
  kIntMax,
  kSize,
  kPtrDiff,
  kInt32,
  kWide
};

struct Directive {
  std::string flags;  // subset of "-+ #0'"
  int width = 0;
  int precision = -1;  // -1: none
  Length length = Length::kNone;
  bool leftAlign = false;
};

// Switches the calling thread to the "C" locale for the duration of one formatting call, so
// that a host's setlocale (a decimal comma, say) never changes the text.
class CLocaleScope {
 public:
  CLocaleScope() {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (cLocale) previous_ = uselocale(cLocale);
  }
  ~CLocaleScope() {
    if (previous_) uselocale(previous_);
  }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

 private:
  locale_t previous_ = static_cast<locale_t>(0);
};

// Reads a decimal number, saturating at INT_MAX.
int ReadNumber(const char16_t*& p) {
  long long v = 0;
  while (*p >= u'0' && *p <= u'9') {
    v = v * 10 + (*p - u'0');
    if (v > INT_MAX) v = INT_MAX;
    ++p;
  }
  return static_cast<int>(v);
}

std::string NarrowDirective(const Directive& dir, const char* lengthText, char conv) {
  std::string s = "%";
  s += dir.flags;
  if (dir.width > 0) s += std::to_string(dir.width);
  if (dir.precision >= 0) {
    s += '.';
    s += std::to_string(dir.precision);
  }
  s += lengthText;
  s += conv;
  return s;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename T>
void AppendSnprintf(std::u16string& out, const std::string& narrowDirective, T value) {
  char stackBuf[128];
  int n = std::snprintf(stackBuf, sizeof stackBuf, narrowDirective.c_str(), value);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof stackBuf) {
    for (int i = 0; i < n; ++i)
      out += static_cast<char16_t>(static_cast<unsigned char>(stackBuf[i]));
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  n = std::snprintf(big.data(), big.size(), narrowDirective.c_str(), value);
  if (n < 0) return;
  for (int i = 0; i < n && static_cast<size_t>(i) < big.size(); ++i) {
    out += static_cast<char16_t>(static_cast<unsigned char>(big[i]));
  }
}
#pragma GCC diagnostic pop

void AppendPadded(std::u16string& out, const Directive& dir, std::u16string_view text) {
  const size_t pad =
      static_cast<size_t>(dir.width) > text.size() ? dir.width - text.size() : size_t{0};
  if (!dir.leftAlign) out.append(pad, u' ');
  out.append(text);
  if (dir.leftAlign) out.append(pad, u' ');
}

long long SignedArg(Length length, va_list* ap) {
  switch (length) {
    case Length::kChar:
      return static_cast<signed char>(va_arg(*ap, int));
    case Length::kShort:
      return static_cast<short>(va_arg(*ap, int));
    case Length::kLong:
      return va_arg(*ap, long);
    case Length::kLongLong:
    case Length::kLongDouble:  // %Ld is taken as %lld, as the C library does
      return va_arg(*ap, long long);
    case Length::kIntMax:
      return va_arg(*ap, intmax_t);
    case Length::kSize:
      return va_arg(*ap, ssize_t);
    case Length::kPtrDiff:
      return va_arg(*ap, ptrdiff_t);
    default:
      return va_arg(*ap, int);
  }
}

unsigned long long UnsignedArg(Length length, va_list* ap) {
  switch (length) {
    case Length::kChar:
      return static_cast<unsigned char>(va_arg(*ap, unsigned int));
    case Length::kShort:
      return static_cast<unsigned short>(va_arg(*ap, unsigned int));
    case Length::kLong:
      return va_arg(*ap, unsigned long);
    case Length::kLongLong:
    case Length::kLongDouble:
      return va_arg(*ap, unsigned long long);
    case Length::kIntMax:
      return va_arg(*ap, uintmax_t);
    case Length::kSize:
      return va_arg(*ap, size_t);
    case Length::kPtrDiff:
      return static_cast<unsigned long long>(va_arg(*ap, ptrdiff_t));
    default:
      return va_arg(*ap, unsigned int);
  }
}

// Parses the length modifier at p (advancing it).
Length ReadLength(const char16_t*& p) {
  switch (*p) {
    case u'h':
      ++p;
      if (*p == u'h') {
        ++p;
        return Length::kChar;
      }
      return Length::kShort;
    case u'l':
      ++p;
      if (*p == u'l') {
        ++p;
        return Length::kLongLong;
      }
      return Length::kLong;
    case u'q':
      ++p;
      return Length::kLongLong;
    case u'L':
      ++p;
      return Length::kLongDouble;
    case u'j':
      ++p;
      return Length::kIntMax;
    case u'z':
      ++p;
      return Length::kSize;
    case u't':
      ++p;
      return Length::kPtrDiff;
    case u'w':
      ++p;
      return Length::kWide;
    case u'I':
      if (p[1] == u'6' && p[2] == u'4') {
        p += 3;
        return Length::kLongLong;
      }
      if (p[1] == u'3' && p[2] == u'2') {
        p += 3;
        return Length::kInt32;
      }
      ++p;
      return Length::kSize;
    default:
      return Length::kNone;
  }
}

// Formats one conversion whose directive has been read; returns false for an unknown
// conversion character.
bool Convert(std::u16string& out, Directive& dir, char16_t conv, va_list* ap) {
  const bool tooWide = dir.width > kMaxWidth;
  switch (conv) {
    case u'd':
    case u'i': {
      long long v = SignedArg(dir.length, ap);
      if (tooWide || dir.precision > kMaxWidth) return true;
      AppendSnprintf(out, NarrowDirective(dir, "ll", static_cast<char>(conv)), v);
      return true;
    }
    case u'u':
    case u'o':
    case u'x':
    case u'X': {
      unsigned long long v = UnsignedArg(dir.length, ap);
      if (tooWide || dir.precision > kMaxWidth) return true;
      AppendSnprintf(out, NarrowDirective(dir, "ll", static_cast<char>(conv)), v);
      return true;
    }
    case u'f':
    case u'F':
    case u'e':
    case u'E':
    case u'g':
    case u'G':
    case u'a':
    case u'A': {
      if (dir.length == Length::kLongDouble) {
        long double v = va_arg(*ap, long double);
        if (tooWide || dir.precision > kMaxWidth) return true;
        AppendSnprintf(out, NarrowDirective(dir, "L", static_cast<char>(conv)), v);
      } else {
        double v = va_arg(*ap, double);
        if (tooWide || dir.precision > kMaxWidth) return true;
        AppendSnprintf(out, NarrowDirective(dir, "", static_cast<char>(conv)), v);
      }
      return true;
    }
    case u'p': {
      void* v = va_arg(*ap, void*);
      if (tooWide || dir.precision > kMaxWidth) return true;
      AppendSnprintf(out, NarrowDirective(dir, "", 'p'), v);
      return true;
    }
    case u'c':
    case u'C': {
      const int v = va_arg(*ap, int);
      if (tooWide) return true;
      const bool narrow = conv == u'C' || dir.length == Length::kShort;
      char16_t unit;
      if (narrow) {
        unit = AnsiCodeToUnicode(static_cast<unsigned char>(v));
      } else {
        unit = static_cast<char16_t>(v);
      }
      AppendPadded(out, dir, std::u16string_view(&unit, 1));
      return true;
    }
    case u's':
    case u'S': {
      const bool narrow = conv == u'S' || dir.length == Length::kShort;
      const size_t limit =
          dir.precision >= 0 ? static_cast<size_t>(dir.precision) : static_cast<size_t>(-1);
      if (narrow) {
        const char* s = va_arg(*ap, const char*);
        if (tooWide) return true;
        if (!s) {
          AppendPadded(out, dir, std::u16string_view(u"(null)").substr(0, limit));
          return true;
        }
        size_t n = 0;
        while (n < limit && s[n] != 0) ++n;
        std::u16string text = AnsiToUnicode(std::string_view(s, n));
        if (text.size() > limit) text.resize(limit);
        AppendPadded(out, dir, text);
      } else {
        const char16_t* s = va_arg(*ap, const char16_t*);
        if (tooWide) return true;
        if (!s) s = u"(null)";
        size_t n = 0;
        while (n < limit && s[n] != 0) ++n;
        AppendPadded(out, dir, std::u16string_view(s, n));
      }
      return true;
    }
    case u'n':
      (void)va_arg(*ap, void*);
      return true;
    default:
      return false;
  }
}

}  // namespace

std::u16string FormatV(const char16_t* fmt, va_list args) {
  std::u16string out;
  if (!fmt) return out;
  CLocaleScope cLocale;
  va_list ap;
  va_copy(ap, args);
  const char16_t* p = fmt;
  while (*p) {
    if (*p != u'%') {
      const char16_t* run = p;
      while (*p && *p != u'%') ++p;
      out.append(run, p - run);
      continue;
    }
    const char16_t* start = p++;
    if (*p == u'%') {
      out += u'%';
      ++p;
      continue;
    }
    Directive dir;
    for (;; ++p) {
      const char16_t c = *p;
      if (c == u'-' || c == u'+' || c == u' ' || c == u'#' || c == u'0' || c == u'\'') {
        if (dir.flags.find(static_cast<char>(c)) == std::string::npos) {
          dir.flags += static_cast<char>(c);
        }
      } else {
        break;
      }
    }
    if (*p == u'*') {
      ++p;
      const int w = va_arg(ap, int);
      if (w < 0) {
        if (dir.flags.find('-') == std::string::npos) dir.flags += '-';
        dir.width = w == INT_MIN ? INT_MAX : -w;
      } else {
        dir.width = w;
      }
    } else {
      dir.width = ReadNumber(p);
    }
    if (*p == u'.') {
      ++p;
      if (*p == u'*') {
        ++p;
        const int prec = va_arg(ap, int);
        dir.precision = prec < 0 ? -1 : prec;
      } else {
        dir.precision = ReadNumber(p);
      }
    }
    dir.leftAlign = dir.flags.find('-') != std::string::npos;
    dir.length = ReadLength(p);
    const char16_t conv = *p;
    if (conv == 0) {
      // Directive cut short by the end of the format: copied as written.
      out.append(start, p - start);
      break;
    }
    ++p;
    if (!Convert(out, dir, conv, &ap)) out.append(start, p - start);
  }
  va_end(ap);
  return out;
}

std::u16string Format(const char16_t* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::u16string out = FormatV(fmt, args);
  va_end(args);
  return out;
}

}  // namespace vwin32
