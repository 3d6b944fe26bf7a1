#include "xml/xmlencoding.h"

#include <cstddef>

#include "vwin32/codepage.h"
#include "vwin32/strings.h"

namespace velluma {

namespace {

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// UTF-16 code units from byte pairs; an odd last byte is dropped.
std::u16string Utf16FromBytes(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0));
  }
  return text;
}

}  // namespace

std::string DeclaredXmlEncoding(std::string_view bytes) {
  // The declaration is only one when it opens the file: "<?xml" and white space.
  if (!StartsWith(bytes, "<?xml") || bytes.size() < 6 || !IsXmlSpace(bytes[5])) return {};
  const size_t end = bytes.find("?>");
  if (end == std::string_view::npos) return {};
  const std::string_view decl = bytes.substr(0, end);
  size_t pos = decl.find("encoding");
  if (pos == std::string_view::npos) return {};
  pos += 8;
  while (pos < decl.size() && IsXmlSpace(decl[pos])) ++pos;
  if (pos >= decl.size() || decl[pos] != '=') return {};
  ++pos;
  while (pos < decl.size() && IsXmlSpace(decl[pos])) ++pos;
  if (pos >= decl.size() || (decl[pos] != '"' && decl[pos] != '\'')) return {};
  const char quote = decl[pos++];
  const size_t close = decl.find(quote, pos);
  if (close == std::string_view::npos) return {};
  return std::string(decl.substr(pos, close - pos));
}

XmlEncoding DetectXmlEncoding(std::string_view bytes) {
  using namespace std::string_view_literals;
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return XmlEncoding::kUtf8;
  // UTF-32 marks first: FF FE 00 00 also begins with the UTF-16 little-endian mark.
  if (StartsWith(bytes, "\xFF\xFE\0\0"sv) || StartsWith(bytes, "\0\0\xFE\xFF"sv)) {
    return XmlEncoding::kUnsupported;
  }
  if (StartsWith(bytes, "\xFF\xFE")) return XmlEncoding::kUtf16LE;
  if (StartsWith(bytes, "\xFE\xFF")) return XmlEncoding::kUtf16BE;
  if (StartsWith(bytes, "<\0?\0"sv)) return XmlEncoding::kUtf16LE;
  if (StartsWith(bytes, "\0<\0?"sv)) return XmlEncoding::kUtf16BE;

  const std::string name = AsciiLower(DeclaredXmlEncoding(bytes));
  // A UTF-16 name on 8-bit bytes is read as UTF-8, which the bytes evidently are.
  if (name.empty() || name == "utf-8" || name == "utf8" || name == "us-ascii" || name == "ascii" ||
      name == "utf-16" || name == "unicode") {
    return XmlEncoding::kUtf8;
  }
  if (name == "iso-8859-1" || name == "iso8859-1" || name == "latin1") {
    return XmlEncoding::kLatin1;
  }
  // Chinese configuration files declare the Windows ANSI code page under one of these names.
  if (name == "gbk" || name == "gb2312" || name == "cp936" || name == "ms936" ||
      name == "windows-936" || name == "x-gbk") {
    return XmlEncoding::kCodePage936;
  }
  return XmlEncoding::kUnsupported;
}

bool DecodeXmlBytes(std::string_view bytes, std::string& utf8, std::u16string& reason) {
  const XmlEncoding encoding = DetectXmlEncoding(bytes);
  switch (encoding) {
    case XmlEncoding::kUtf8:
      if (StartsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
      utf8.assign(bytes);
      return true;
    case XmlEncoding::kUtf16LE:
    case XmlEncoding::kUtf16BE: {
      std::u16string text = Utf16FromBytes(bytes, encoding == XmlEncoding::kUtf16BE);
      if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
      utf8 = vwin32::ToUtf8(text);
      return true;
    }
    case XmlEncoding::kLatin1:
      utf8 = vwin32::ToUtf8(vwin32::Widen(bytes));
      return true;
    case XmlEncoding::kCodePage936:
      utf8 = vwin32::ToUtf8(vwin32::AnsiToUnicode(bytes));
      return true;
    case XmlEncoding::kUnsupported:
      break;
  }
  reason = u"System does not support the specified encoding.";
  return false;
}

}  // namespace velluma
