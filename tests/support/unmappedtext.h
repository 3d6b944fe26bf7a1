// Pages set in real typefaces whose embedded subsets name nothing: no ToUnicode, no Unicode
// cmap, no glyph names, only codes that take the page's characters to glyphs, as many Chinese
// newspapers embed their fonts. For recognition tests and benchmarks.
#pragma once

#include <string>
#include <string_view>

namespace vtest {

struct UnmappedTextPage {
  std::string pdf;      // the file's bytes; empty when the face cannot be read
  std::u16string text;  // what was set: the characters the face has, line breaks dropped
  int distinct = 0;     // distinct glyphs on the page
};

// Sets text (paragraphs split at '\n') on one A4 page at size points, in subsets of face
// `face` of fontFile, TrueType or CFF (outlines copied as quadratics, advances kept, up to 223
// glyphs per embedded font). Text that does not fit on the page is left out.
UnmappedTextPage UnmappedTextPdf(const std::string& fontFile, int face, std::u16string_view text,
                                 double size = 10.5);

// Share of expected's characters that got reproduces in order (longest common subsequence),
// blanks ignored on both sides.
double TextAgreement(std::u16string_view expected, std::u16string_view got);

}  // namespace vtest
