// Decoding the bytes of an XML file to the UTF-8 text that the parser is given. Every file is
// decoded here, so that parse offsets always refer to one UTF-8 text from which the line and
// the source line of a diagnostic can be taken.
#pragma once

#include <string>
#include <string_view>

namespace velluma {

// How the bytes of a file are to be read.
enum class XmlEncoding {
  kUtf8,         // UTF-8 (byte order mark stripped), also for undeclared, ASCII and UTF-8 names
  kUtf16LE,      // byte order mark FF FE, or "<?" as 3C 00 3F 00
  kUtf16BE,      // byte order mark FE FF, or "<?" as 00 3C 00 3F
  kLatin1,       // declared ISO-8859-1 / latin1
  kCodePage936,  // declared GBK, GB2312, CP936 and their aliases
  kUnsupported,  // any other declared name, and UTF-32
};

// The encoding of the bytes: a byte order mark decides first, then the byte pattern of "<?",
// then the encoding name of an XML declaration at the very start (compared case-insensitively).
XmlEncoding DetectXmlEncoding(std::string_view bytes);

// The encoding name of the XML declaration at the start of 8-bit bytes, as written; empty when
// there is no declaration or it names no encoding.
std::string DeclaredXmlEncoding(std::string_view bytes);

// Decodes the file's bytes into UTF-8. False, with the reason text of the failure, when the
// encoding is not supported.
bool DecodeXmlBytes(std::string_view bytes, std::string& utf8, std::u16string& reason);

}  // namespace velluma
