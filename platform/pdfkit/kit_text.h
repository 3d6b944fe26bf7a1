// Helpers of the kit's text stream.
#pragma once

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <string>
#include <string_view>

namespace pdfkit {

// Maps a CJK compatibility ideograph (U+F900..U+FAFF with a canonical decomposition) or a
// Kangxi radical (U+2F00..U+2FD5) to its unified ideograph; any other value is returned as it
// is. Fonts whose ToUnicode maps were built by reversing their cmap report such characters
// for common ideographs (年 as U+F98E, 十 as U+2F17), which text matching would then miss.
int MapCompatIdeograph(int ucs);

// The character a glyph name stands for: a name of the Adobe glyph list, uniXXXX or uXXXX to
// uXXXXXX (a suffix after a period ignored); 0 for names that name no character (g12, cid12).
int GlyphNameValue(const char* name);

// The characters of a glyph name that stands for several of them, a ligature: components joined
// by underscores (f_f_i, T_h), uniXXXXYYYY..., or a name of a presentation-form ligature (fi,
// ffl). Empty when the name stands for one character or for none.
std::u32string LigatureText(const char* name);

// The letters of a presentation-form ligature U+FB00..U+FB06 (ﬁ gives fi); empty for any
// other value. Text is searched and read letter by letter.
std::u32string_view LigatureLetters(int ucs);

// For each code 0..255 of a simple font, the character its glyph has in the embedded font
// program: from a Microsoft Unicode cmap ((3,1) or (3,10)) when the program has one, else
// from the glyph's name; 0 where the program names none.
void ProgramCodeValues(fz_context* ctx, pdf_font_desc* desc, int values[256]);

}  // namespace pdfkit
