// GBK conversions through iconv with per-thread descriptors, completed to Windows code page
// 936 by the tables of cp936_tables.inc where glibc's converter has no entry.
#include "vwin32/codepage.h"

#include <iconv.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vwin32 {

namespace {

constexpr const char* kAnsiCharset = "GBK";
// Explicit byte order: char16_t units are little-endian on every platform we build for.
constexpr const char* kUnitCharset = "UTF-16LE";

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

struct EudcRun {
  uint16_t code;  // first double-byte code
  char16_t unit;  // its unit
  uint16_t count;
};
struct BestFit {
  char16_t unit;
  uint16_t code;
};
#include "cp936_tables.inc"

constexpr unsigned char kByteFF = 0xFF;
constexpr char16_t kUnitOfFF = u'\uF8F5';

bool IsTrailByte(unsigned char b) {
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// Position of a double-byte code in the sequence of all codes (lead-major, trail bytes 40..7E
// and 80..FE), so that the codes of a run are consecutive positions.
int PositionOf(unsigned code) {
  const unsigned lead = code >> 8, trail = code & 0xFF;
  return static_cast<int>(lead * 190 + (trail < 0x80 ? trail - 0x40 : trail - 0x41));
}
uint16_t CodeAt(int position) {
  const unsigned lead = static_cast<unsigned>(position) / 190;
  const unsigned index = static_cast<unsigned>(position) % 190;
  return static_cast<uint16_t>((lead << 8) | (index < 63 ? index + 0x40 : index + 0x41));
}

// The unit of a double-byte code that glibc does not map; 0 when Windows has none either.
char16_t SupplementDecode(unsigned char lead, unsigned char trail) {
  const int pos = PositionOf((lead << 8) | trail);
  for (const EudcRun& r : kEudcRuns) {
    const int first = PositionOf(r.code);
    if (pos >= first && pos < first + r.count) return static_cast<char16_t>(r.unit + (pos - first));
  }
  return 0;
}

// The code of a unit that glibc does not map; 0 when Windows has none either.
uint16_t SupplementEncode(char16_t unit) {
  if (unit == kUnitOfFF) return kByteFF;
  for (const EudcRun& r : kEudcRuns) {
    if (unit >= r.unit && unit < r.unit + r.count)
      return CodeAt(PositionOf(r.code) + (unit - r.unit));
  }
  const BestFit* end = std::end(kBestFit);
  const BestFit* it = std::lower_bound(std::begin(kBestFit), end, unit,
                                       [](const BestFit& b, char16_t u) { return b.unit < u; });
  return it != end && it->unit == unit ? it->code : 0;
}

// The two descriptors of the calling thread, opened on first use and closed at thread exit.
class ThreadConverters {
 public:
  ThreadConverters() = default;
  ThreadConverters(const ThreadConverters&) = delete;
  ThreadConverters& operator=(const ThreadConverters&) = delete;
  ~ThreadConverters() {
    if (toUnicode_ != kNoDescriptor) iconv_close(toUnicode_);
    if (fromUnicode_ != kNoDescriptor) iconv_close(fromUnicode_);
  }

  iconv_t ToUnicode() {
    if (toUnicode_ == kNoDescriptor && !toUnicodeFailed_) {
      toUnicode_ = iconv_open(kUnitCharset, kAnsiCharset);
      toUnicodeFailed_ = toUnicode_ == kNoDescriptor;
    }
    return toUnicode_;
  }
  iconv_t FromUnicode() {
    if (fromUnicode_ == kNoDescriptor && !fromUnicodeFailed_) {
      fromUnicode_ = iconv_open(kAnsiCharset, kUnitCharset);
      fromUnicodeFailed_ = fromUnicode_ == kNoDescriptor;
    }
    return fromUnicode_;
  }

 private:
  iconv_t toUnicode_ = kNoDescriptor;
  iconv_t fromUnicode_ = kNoDescriptor;
  bool toUnicodeFailed_ = false;
  bool fromUnicodeFailed_ = false;
};

ThreadConverters& Converters() {
  thread_local ThreadConverters converters;
  return converters;
}

// Runs iconv over the whole input. On an invalid or truncated sequence, onError appends the
// replacement to out and returns how many input bytes to skip (at least one, never beyond the
// end), then conversion resumes. Output is appended to out as raw bytes.
template <typename OnError>
void Convert(iconv_t cd, const char* in, size_t inLen, std::string& out, OnError onError) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char buf[1024];
  char* inPtr = const_cast<char*>(in);
  size_t inLeft = inLen;
  while (inLeft > 0) {
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buf, outPtr - buf);
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ, EINVAL or anything unexpected: replace and move on.
    size_t skip = onError(inPtr, inLeft, errno == EINVAL);
    if (skip == 0) skip = 1;
    if (skip > inLeft) skip = inLeft;
    inPtr += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

void AppendUnit(std::string& raw, char16_t c) {
  raw += static_cast<char>(c & 0xFF);
  raw += static_cast<char>(c >> 8);
}

std::u16string UnitsFromRaw(const std::string& raw) {
  std::u16string out(raw.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                   (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
  }
  return out;
}

}  // namespace

std::u16string AnsiToUnicode(std::string_view bytes) {
  if (bytes.empty()) return std::u16string();
  iconv_t cd = Converters().ToUnicode();
  if (cd == kNoDescriptor) {
    // Without a converter only ASCII is certain.
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
      const unsigned char b = static_cast<unsigned char>(bytes[i]);
      out[i] = b < 0x80 ? static_cast<char16_t>(b) : kAnsiInvalidChar;
    }
    return out;
  }
  std::string raw;
  raw.reserve(bytes.size() * 2);
  Convert(cd, bytes.data(), bytes.size(), raw, [&raw](const char* at, size_t left, bool truncated) {
    const unsigned char b0 = static_cast<unsigned char>(at[0]);
    if (b0 == kByteFF) {
      AppendUnit(raw, kUnitOfFF);
      return size_t{1};
    }
    if (!truncated && left >= 2 && IsAnsiLeadByte(b0)) {
      const unsigned char b1 = static_cast<unsigned char>(at[1]);
      const char16_t unit = IsTrailByte(b1) ? SupplementDecode(b0, b1) : 0;
      if (unit != 0) {
        AppendUnit(raw, unit);
        return size_t{2};
      }
    }
    AppendUnit(raw, kAnsiInvalidChar);
    // A sequence cut short by the end is one character; otherwise drop only the bad byte so a
    // following ASCII byte is kept.
    return truncated ? left : size_t{1};
  });
  return UnitsFromRaw(raw);
}

std::string UnicodeToAnsi(std::u16string_view text) {
  if (text.empty()) return std::string();
  iconv_t cd = Converters().FromUnicode();
  if (cd == kNoDescriptor) {
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) {
      out[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : kAnsiDefaultChar;
    }
    return out;
  }
  std::string raw;
  raw.reserve(text.size() * 2);
  for (char16_t c : text) AppendUnit(raw, c);
  std::string out;
  out.reserve(text.size() * 2);
  Convert(cd, raw.data(), raw.size(), out, [&out](const char* at, size_t left, bool) {
    if (left >= 2) {
      const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(at[0]) |
                                                  (static_cast<unsigned char>(at[1]) << 8));
      const uint16_t code = SupplementEncode(unit);
      if (code > 0xFF) {
        out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
        return size_t{2};
      }
      if (code != 0) {
        out += static_cast<char>(code);
        return size_t{2};
      }
    }
    out += kAnsiDefaultChar;
    // A valid surrogate pair is one character and gets one replacement.
    if (left >= 4) {
      const unsigned hi =
          static_cast<unsigned char>(at[0]) | (static_cast<unsigned char>(at[1]) << 8);
      const unsigned lo =
          static_cast<unsigned char>(at[2]) | (static_cast<unsigned char>(at[3]) << 8);
      if (hi >= 0xD800 && hi <= 0xDBFF && lo >= 0xDC00 && lo <= 0xDFFF) return size_t{4};
    }
    return size_t{2};
  });
  return out;
}

char16_t AnsiCodeToUnicode(uint16_t code) {
  if (code < 0x80) return static_cast<char16_t>(code);
  char bytes[2];
  size_t n;
  if (code <= 0xFF) {
    bytes[0] = static_cast<char>(code);
    n = 1;
  } else {
    bytes[0] = static_cast<char>(code >> 8);
    bytes[1] = static_cast<char>(code & 0xFF);
    n = 2;
  }
  const std::u16string u = AnsiToUnicode(std::string_view(bytes, n));
  // Exactly one character must come out of the code.
  if (u.size() != 1) return kAnsiInvalidChar;
  return u[0];
}

uint16_t UnicodeToAnsiCode(char16_t ch) {
  if (ch < 0x80) return ch;
  const std::string b = UnicodeToAnsi(std::u16string_view(&ch, 1));
  if (b.size() == 1) return static_cast<unsigned char>(b[0]);
  if (b.size() == 2) {
    return static_cast<uint16_t>((static_cast<unsigned char>(b[0]) << 8) |
                                 static_cast<unsigned char>(b[1]));
  }
  return static_cast<uint16_t>(kAnsiDefaultChar);
}

}  // namespace vwin32
