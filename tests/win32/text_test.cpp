// The vwin32 helpers: UTF conversions, case, formatting, the GBK code page, paths and files.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "vwin32/codepage.h"
#include "vwin32/files.h"
#include "vwin32/format.h"
#include "vwin32/screen.h"
#include "vwin32/strings.h"

using namespace vwin32;

namespace {

__attribute__((format(printf, 1, 2))) std::string Narrow(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char buf[2048];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// The same numeric format through Format (as UTF-16) and through snprintf.
#define EXPECT_LIKE_PRINTF(fmt, ...) \
  EXPECT_EQ(ToUtf8(Format(u"" fmt, __VA_ARGS__)), Narrow(fmt, __VA_ARGS__)) << fmt

TEST(Utf, RoundTripAndReplacement) {
  const std::u16string text = u"h\u00e9llo \u4e2d\u6587 \U0001F600";
  EXPECT_EQ(ToUtf8(text), "h\xC3\xA9llo \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  // One U+FFFD per maximal invalid subsequence.
  EXPECT_EQ(FromUtf8("a\x80"
                     "b"),
            u"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xE4\xB8"), u"\uFFFD");  // truncated
  EXPECT_EQ(FromUtf8("\xE4\xB8z"), u"\uFFFDz");
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(FromUtf8("\xFF"), u"\uFFFD");
  EXPECT_EQ(FromUtf8(std::string_view("\0x", 2)), std::u16string(u"\0x", 2));
  // Unpaired surrogates cannot be encoded.
  EXPECT_EQ(ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(ToUtf8(u"x\xDC00"), "x\xEF\xBF\xBD");
}

TEST(Strings, CaseAndComparison) {
  EXPECT_EQ(ToUpper(u"abc\u00e4\u0101\u03b1\u0431\uff41z9"),
            u"ABC\u00c4\u0100\u0391\u0411\uff21Z9");
  EXPECT_EQ(ToLower(u"ABC\u00c4\u0178\u0139"), u"abc\u00e4\u00ff\u013a");
  EXPECT_EQ(ToUpper(u'\u00df'), u'\u00df');  // no single-unit upper case
  EXPECT_EQ(ToUpper(u'\u00f7'), u'\u00f7');  // division sign is no letter
  EXPECT_EQ(CompareNoCase(u"Hello", u"hELLO"), 0);
  EXPECT_EQ(CompareNoCase(u"\u00c9t\u00e9", u"\u00e9T\u00c9"), 0);
  EXPECT_LT(CompareNoCase(u"abc", u"ABD"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  EXPECT_LT(CompareNoCase(u"ab", u"abc"), 0);
  EXPECT_GT(CompareNoCase(u"abc", u"AB"), 0);
  // Folding to lower case happens before comparing: '_' (0x5F) sorts before letters, as with
  // _wcsicmp.
  EXPECT_GT(CompareNoCase(u"A", u"_"), 0);
  EXPECT_GT(CompareNoCase(u"a", u"_"), 0);
  EXPECT_TRUE(EqualsNoCase(u"", u""));
}

TEST(Strings, NumbersAndTrim) {
  EXPECT_EQ(ToInt(u"  -42abc"), -42);
  EXPECT_EQ(ToInt(u"+7"), 7);
  EXPECT_EQ(ToInt(u"x1"), 0);
  EXPECT_EQ(ToInt(u""), 0);
  EXPECT_EQ(ToInt(u"99999999999"), INT_MAX);
  EXPECT_EQ(ToInt(u"-2147483648"), INT_MIN);
  EXPECT_EQ(ToInt(u"-99999999999"), INT_MIN);
  EXPECT_EQ(ToLong(u"123456789012"), 123456789012L);
  EXPECT_DOUBLE_EQ(ToDouble(u"3.5pt"), 3.5);
  EXPECT_DOUBLE_EQ(ToDouble(u"\t-2e3"), -2000.0);
  EXPECT_DOUBLE_EQ(ToDouble(u".25"), 0.25);
  EXPECT_EQ(ToDouble(u"abc"), 0.0);
  EXPECT_EQ(ToDouble(u"--1"), 0.0);
  EXPECT_TRUE(std::isinf(ToDouble(u"1e999")));
  EXPECT_EQ(Trim(u" \t\u3000 a b \r\n"), u"a b");
  EXPECT_EQ(Trim(u"   "), u"");
  EXPECT_EQ(StrLen(nullptr), 0u);
  EXPECT_EQ(StrLen(u"abc"), 3u);
  EXPECT_EQ(Widen("A\xE9"), u"A\u00e9");

  BSTR b = ToBstr(std::u16string_view(u"a\0b", 3));
  EXPECT_EQ(FromBstr(b), std::u16string(u"a\0b", 3));
  SysFreeString(b);
  EXPECT_EQ(FromBstr(nullptr), u"");
}

TEST(Format, NumbersMatchTheCLibrary) {
  EXPECT_LIKE_PRINTF("%d|%i|%5d|%-5d|%05d|%+d|% d|%.3d|%2d", 7, -7, 42, 42, -42, 3, 3, 5, 123);
  EXPECT_LIKE_PRINTF("%d %d", INT_MIN, INT_MAX);
  EXPECT_LIKE_PRINTF("%u %x %X %#x %04x %08X %o %#o", 4000000000u, 255u, 255u, 255u, 10u, 0xBEEFu,
                     8u, 8u);
  EXPECT_LIKE_PRINTF("%ld %lu %lld %llx %zu %zd", LONG_MIN, ULONG_MAX, LLONG_MIN, ~0ull,
                     static_cast<size_t>(123), static_cast<ssize_t>(-5));
  EXPECT_LIKE_PRINTF("%hd %hu %hhd %hhu", 70000, 70000, 300, 300);
  EXPECT_LIKE_PRINTF("%f %.2f %10.3f %-10.3f| %+.1f %.0f %.0f %#.0f", 3.14159, 2.675, -1.5, 1.5,
                     0.05, 2.5, 3.5, 1.0);
  EXPECT_LIKE_PRINTF("%e %E %.0e %g %G %#g %g %g", 12345.678, 1e-10, 5e5, 0.0001, 1e20, 1.0,
                     100000.0, 1000000.0);
  EXPECT_LIKE_PRINTF("%f %f %f %F %e", -0.0, INFINITY, -NAN, NAN, -INFINITY);
  EXPECT_LIKE_PRINTF("%a %.3A", 1.0, -3.75);
  EXPECT_LIKE_PRINTF("%Lf %.3Le", 1.5L, 2.25L);
  EXPECT_LIKE_PRINTF("%*d|%-*d|%*d|%.*f|%.*f", 6, 1, 6, 1, -6, 1, 3, 2.0, -1, 2.0);
  EXPECT_LIKE_PRINTF("100%% %d%%", 5);
  // Longer than the internal buffer.
  EXPECT_LIKE_PRINTF("%300d|%f|%.200e", 1, 1e300, 1.0 / 3);
}

TEST(Format, StringsAndCharactersAreUtf16) {
  EXPECT_EQ(Format(u"%s_%04d", u"page", 7), u"page_0007");
  EXPECT_EQ(
      Format(u"[%6s][%-6s][%.2s][%3.1s]", u"\u4e2d\u6587", u"ab", u"\u4e2d\u6587\u5b57", u"xyz"),
      u"[    \u4e2d\u6587][ab    ][\u4e2d\u6587][  x]");
  EXPECT_EQ(Format(u"%c%c|%3c|%-3c|", u'\u4e2d', u'A', u'x', u'y'), u"\u4e2dA|  x|y  |");
  EXPECT_EQ(Format(u"%ls %ws %lc", u"a", u"b", u'c'), u"a b c");
  EXPECT_EQ(Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  // Narrow arguments are in the ANSI code page.
  EXPECT_EQ(Format(u"%hs|%S|%hc", "\xD6\xD0", "ok", 'z'), u"\u4e2d|ok|z");
  EXPECT_EQ(Format(u"%05s", u"ab"), u"   ab");
  EXPECT_EQ(Format(u"%.*s", 1, u"abc"), u"a");
}

TEST(Format, OddFormats) {
  EXPECT_EQ(Format(nullptr), u"");
  EXPECT_EQ(Format(u"plain"), u"plain");
  EXPECT_EQ(Format(u"%y|%d", 4), u"%y|4");  // unknown conversion kept as written
  EXPECT_EQ(Format(u"50%"), u"50%");
  EXPECT_EQ(Format(u"%-5"), u"%-5");
  EXPECT_EQ(Format(u"%5000000d|%d", 1, 2), u"|2");  // absurd width refused, argument consumed
  int untouched = 7;
  EXPECT_EQ(Format(u"a%nb", &untouched), u"ab");
  EXPECT_EQ(untouched, 7);
  EXPECT_EQ(Format(u"%I64d %I32d %Id", 1234567890123LL, 5, static_cast<ssize_t>(-1)),
            u"1234567890123 5 -1");
}

TEST(CodePage, GbkRoundTrips) {
  const std::string gbk = "\xD6\xD0\xCE\xC4\xB1\xA8\xD6\xBD ABC 123";  // "中文报纸 ABC 123"
  const std::u16string text = u"\u4e2d\u6587\u62a5\u7eb8 ABC 123";
  EXPECT_EQ(AnsiToUnicode(gbk), text);
  EXPECT_EQ(UnicodeToAnsi(text), gbk);
  EXPECT_EQ(AnsiToUnicode(""), u"");
  EXPECT_EQ(UnicodeToAnsi(u""), "");
  // Code page 936 puts the euro sign at 0x80.
  EXPECT_EQ(AnsiToUnicode("\x80"), u"\u20ac");
  EXPECT_EQ(UnicodeToAnsi(u"\u20ac"), "\x80");
  EXPECT_EQ(AnsiCodeToUnicode(0xD6D0), u'\u4e2d');
  EXPECT_EQ(AnsiCodeToUnicode('A'), u'A');
  EXPECT_EQ(UnicodeToAnsiCode(u'\u4e2d'), 0xD6D0);
  EXPECT_EQ(UnicodeToAnsiCode(u'\u20ac'), 0x80);
  EXPECT_TRUE(IsAnsiLeadByte(0xD6));
  EXPECT_FALSE(IsAnsiLeadByte(0x80));
}

TEST(CodePage, BadInputIsReplaced) {
  // Characters GBK lacks: one '?' per code point, surrogate pairs and strays included.
  EXPECT_EQ(UnicodeToAnsi(u"a\u0e01b\U0001F600c\xD800"), "a?b?c?");
  EXPECT_EQ(UnicodeToAnsiCode(u'\xDC00'), '?');
  // A lead byte at the end, an invalid pair (only the lead byte is dropped), an unused byte.
  EXPECT_EQ(AnsiToUnicode("ab\xD6"), u"ab\uFFFD");
  EXPECT_EQ(AnsiToUnicode("\x81 x"), u"\uFFFD x");
  EXPECT_EQ(AnsiToUnicode("\x81\x7F"
                          "a"),
            u"\uFFFD\x7F"
            "a");
  EXPECT_EQ(AnsiCodeToUnicode(0x81), kAnsiInvalidChar);
  EXPECT_EQ(AnsiCodeToUnicode(0x8120), kAnsiInvalidChar);
  // Arbitrary bytes always terminate and give at most one unit per byte.
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 131 + 7) & 0xFF);
  EXPECT_LE(AnsiToUnicode(noise).size(), noise.size());
}

// What Windows' code page 936 maps beyond glibc's GBK table: user-defined areas and unassigned
// codes to the private use area, 0xFF, and best-fit encodings.
TEST(CodePage, WindowsTableSupplement) {
  EXPECT_EQ(AnsiCodeToUnicode(0xAAA1), u'\uE000');  // user-defined area 1
  EXPECT_EQ(AnsiCodeToUnicode(0xAFFE), u'\uE233');
  EXPECT_EQ(AnsiCodeToUnicode(0xF8A1), u'\uE234');  // area 2
  EXPECT_EQ(AnsiCodeToUnicode(0xFEFE), u'\uE4C5');
  EXPECT_EQ(AnsiCodeToUnicode(0xA140), u'\uE4C6');  // area 3, trail bytes 40..7E and 80..A0
  EXPECT_EQ(AnsiCodeToUnicode(0xA180), u'\uE505');
  EXPECT_EQ(AnsiCodeToUnicode(0xA7A0), u'\uE765');
  EXPECT_EQ(AnsiCodeToUnicode(0xA2AB), u'\uE766');  // unassigned GB2312 positions
  EXPECT_EQ(AnsiCodeToUnicode(0xA2E3), u'\uE76C');
  EXPECT_EQ(AnsiCodeToUnicode(0xA8BC), u'\uE7C7');
  EXPECT_EQ(AnsiCodeToUnicode(0xD7FA), u'\uE810');
  EXPECT_EQ(AnsiCodeToUnicode(0xFE50), u'\uE815');
  EXPECT_EQ(AnsiCodeToUnicode(0xFEA0), u'\uE864');
  EXPECT_EQ(AnsiCodeToUnicode(0xFF), u'\uF8F5');
  EXPECT_EQ(AnsiToUnicode("\xFF"
                          "a"),
            u"\uF8F5a");
  // Both ways.
  for (uint16_t code :
       {0xAAA1, 0xABC0, 0xF8A1, 0xA140, 0xA17E, 0xA180, 0xA6F3, 0xFE7E, 0xFE80, 0xFF}) {
    EXPECT_EQ(UnicodeToAnsiCode(AnsiCodeToUnicode(code)), code) << std::hex << code;
  }
  // Rows that the text intake's substitution table uses decode to distinct
  // characters and back.
  const std::string pairs = "\xD1\x89\xA2\xA0\xD3\x42\xA2\x61\xF4\x86\xA6\x40";
  const std::u16string units = AnsiToUnicode(pairs);
  ASSERT_EQ(units.size(), 6u);
  EXPECT_EQ(units, u"\u8916\uE585\u89A4\uE547\u9B61\uE6A6");
  EXPECT_EQ(UnicodeToAnsi(units), pairs);
  // Best fit, encoding only: A with grave accent to pinyin a-grave, superscript two to '2'.
  EXPECT_EQ(UnicodeToAnsi(u"\u00C0\u00B2\u00A5"),
            "\xA8\xA4"
            "2"
            "\xA3\xA4");
  EXPECT_EQ(AnsiToUnicode("\xA8\xA4"), u"\u00E0");
  // Every double-byte code with a valid trail byte is a character of code page 936.
  int unmapped = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      if (AnsiCodeToUnicode(static_cast<uint16_t>(lead << 8 | trail)) == kAnsiInvalidChar) {
        ++unmapped;
      }
    }
  }
  EXPECT_EQ(unmapped, 0);
}

TEST(CodePage, ThreadsConvertIndependently) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 300; ++i) {
        if (AnsiToUnicode("\xD6\xD0\xCE\xC4") != u"\u4e2d\u6587") ++failures[t];
        if (UnicodeToAnsiCode(u'\u6587') != 0xCEC4) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

TEST(Paths, TakingPathsApart) {
  EXPECT_EQ(DirectoryOf(u"/a/b/c.so"), u"/a/b");
  EXPECT_EQ(DirectoryOf(u"C:\\x\\y.dll"), u"C:\\x");
  EXPECT_EQ(DirectoryOf(u"a/b\\c"), u"a/b");
  EXPECT_EQ(DirectoryOf(u"/c.so"), u"/");
  EXPECT_EQ(DirectoryOf(u"name"), u"");
  EXPECT_EQ(DirectoryOf(u"a/b/"), u"a/b");
  EXPECT_EQ(FileNameOf(u"a\\b/c.txt"), u"c.txt");
  EXPECT_EQ(FileNameOf(u"c.txt"), u"c.txt");
  EXPECT_EQ(StripTrailingSeparators(u"a/b/\\/"), u"a/b");
  EXPECT_EQ(StripTrailingSeparators(u"///"), u"/");
  EXPECT_EQ(JoinPath(u"a", u"b"), u"a/b");
  EXPECT_EQ(JoinPath(u"a\\", u"b"), u"a\\b");
  EXPECT_EQ(JoinPath(u"", u"b"), u"b");
}

TEST(Paths, ModulePath) {
  const std::u16string lib = ModulePathOf(reinterpret_cast<const void*>(&SysAllocString));
  ASSERT_FALSE(lib.empty());
  EXPECT_EQ(lib[0], u'/');
  EXPECT_EQ(FileNameOf(lib), u"libvcomrt.so");
  EXPECT_TRUE(FileExists(lib));
  const std::u16string exe = ModulePathOf(reinterpret_cast<const void*>(&Narrow));
  EXPECT_EQ(FileNameOf(exe), u"test_win32");
  int local = 0;
  EXPECT_EQ(ModulePathOf(&local), u"");
  EXPECT_EQ(ModulePathOf(nullptr), u"");
  EXPECT_EQ(GetScreenPixelsPerInch(false), 96);
  EXPECT_EQ(GetScreenPixelsPerInch(true), 96);
}

TEST(Files, ExistAndRemove) {
  std::filesystem::create_directories(VELLUMA_TEST_TMP);
  const std::u16string dir = FromUtf8(VELLUMA_TEST_TMP);
  const std::u16string file = JoinPath(dir, u"\u4e2d\u6587-win32.txt");
  EXPECT_EQ(ToFsPath(file), std::string(VELLUMA_TEST_TMP) + "/\xE4\xB8\xAD\xE6\x96\x87-win32.txt");
  { std::ofstream(ToFsPath(file)) << "x"; }
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(file + std::u16string(1, u'\0') + u"junk"));
  EXPECT_FALSE(FileExists(dir));
  EXPECT_TRUE(DirectoryExists(dir));
  EXPECT_FALSE(RemoveFile(dir));
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(RemoveFile(file));
  EXPECT_FALSE(FileExists(u""));
}

}  // namespace
