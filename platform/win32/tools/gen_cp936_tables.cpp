// Generates the two tables of src/cp936_tables.inc: what Windows code page 936 maps and glibc's
// iconv "GBK" does not. Windows' table is taken from ICU's "windows-936-2000" converter. Not
// part of the build (ICU is no dependency of the project); run by hand to check or regenerate
// the tables (the output has one entry per line; the file packs them):
//
//   g++ -std=c++20 -O2 gen_cp936_tables.cpp -o gen -licuuc && ./gen
//
// The program also verifies that ICU and glibc agree wherever both map, and that the
// double-byte supplement is one-to-one, so that one table serves both directions.
#include <iconv.h>
#include <unicode/ucnv.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

UConverter* OpenIcu() {
  UErrorCode e = U_ZERO_ERROR;
  UConverter* c = ucnv_open("windows-936-2000", &e);
  if (U_FAILURE(e)) std::exit(1);
  return c;
}

// Decodes one complete sequence; empty when it is no character.
std::u16string IcuDecode(UConverter* c, const std::string& in) {
  UErrorCode e = U_ZERO_ERROR;
  UChar out[8];
  ucnv_reset(c);
  ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &e);
  const int n = ucnv_toUChars(c, out, 8, in.data(), static_cast<int32_t>(in.size()), &e);
  if (U_FAILURE(e)) return u"";
  return std::u16string(reinterpret_cast<char16_t*>(out), n);
}

std::string IcuEncode(UConverter* c, char16_t u, bool bestFit) {
  UErrorCode e = U_ZERO_ERROR;
  char out[8];
  ucnv_reset(c);
  ucnv_setFallback(c, bestFit);
  ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &e);
  const UChar in = u;
  const int n = ucnv_fromUChars(c, out, 8, &in, 1, &e);
  if (U_FAILURE(e)) return "";
  return std::string(out, n);
}

std::string Iconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) std::exit(1);
  char out[16];
  char* ip = const_cast<char*>(in.data());
  size_t il = in.size();
  char* op = out;
  size_t ol = sizeof out;
  const size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || il != 0) return "";
  return std::string(out, sizeof out - ol);
}

std::u16string GlibcDecode(const std::string& in) {
  const std::string raw = Iconv("UTF-16LE", "GBK", in);
  std::u16string out;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    out += static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                 (static_cast<unsigned char>(raw[i + 1]) << 8));
  }
  return out;
}

std::string GlibcEncode(char16_t u) {
  const std::string in{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return Iconv("GBK", "UTF-16LE", in);
}

unsigned Code(const std::string& bytes) {
  unsigned code = 0;
  for (unsigned char b : bytes) code = (code << 8) | b;
  return code;
}

}  // namespace

int main() {
  UConverter* icu = OpenIcu();
  // Double-byte codes that only ICU maps, in code order.
  std::vector<std::pair<unsigned, char16_t>> extra;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string in{static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string a = IcuDecode(icu, in);
      const std::u16string g = GlibcDecode(in);
      if (a == g) continue;
      if (!g.empty() || a.size() != 1) {
        std::fprintf(stderr, "conflict at %02X%02X\n", lead, trail);
        return 1;
      }
      extra.emplace_back((lead << 8) | trail, a[0]);
    }
  }
  // Runs of consecutive codes with consecutive units.
  auto next = [](unsigned code) {
    unsigned lead = code >> 8, trail = (code & 0xFF) + 1;
    if (trail == 0x7F) trail = 0x80;
    if (trail == 0xFF) ++lead, trail = 0x40;
    return (lead << 8) | trail;
  };
  struct Run {
    unsigned code, last;
    char16_t unit;
    int count;
  };
  std::vector<Run> runs;
  std::map<char16_t, unsigned> inverse;
  for (auto [code, unit] : extra) {
    inverse[unit] = code;
    if (!runs.empty() && next(runs.back().last) == code &&
        runs.back().unit + runs.back().count == unit) {
      runs.back().last = code;
      ++runs.back().count;
    } else {
      runs.push_back({code, code, unit, 1});
    }
  }
  if (inverse.size() != extra.size()) return 1;  // not one-to-one
  // Encoding: what ICU maps, glibc does not, and the double-byte supplement does not cover.
  std::vector<std::pair<char16_t, unsigned>> bestFit;
  for (unsigned u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u < 0xE000) continue;
    const std::string a = IcuEncode(icu, static_cast<char16_t>(u), true);
    const std::string g = GlibcEncode(static_cast<char16_t>(u));
    if (a == g) continue;
    if (!g.empty() || a.empty()) return 1;
    if (inverse.count(static_cast<char16_t>(u)) && inverse[static_cast<char16_t>(u)] == Code(a)) {
      continue;
    }
    if (u == 0xF8F5 && a == "\xFF") continue;  // the single byte 0xFF, handled apart
    bestFit.emplace_back(static_cast<char16_t>(u), Code(a));
  }
  std::printf("constexpr EudcRun kEudcRuns[] = {\n");
  for (const Run& r : runs) std::printf("    {0x%04X, 0x%04X, %d},\n", r.code, r.unit, r.count);
  std::printf("};\n\nconstexpr BestFit kBestFit[] = {\n");
  for (auto [u, code] : bestFit) {
    std::printf(code > 0xFF ? "    {0x%04X, 0x%04X},\n" : "    {0x%04X, 0x%02X},\n", u, code);
  }
  std::printf("};\n");
  ucnv_close(icu);
  return 0;
}
