// Character values of simple fonts that carry no ToUnicode map: what the encoding's glyph
// names say, and else what the embedded font program says about each glyph (a Unicode cmap, or
// glyph names). MuPDF guesses a value for codes that nothing names (the code itself as ASCII),
// which would pass text of a custom encoding off as ordinary Latin text; these values replace
// those guesses.
#include <cstring>
#include <unordered_map>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "kit_internal.h"
#include "kit_text.h"

namespace pdfkit {
namespace {

int HexValue(const char* s, size_t n) {
  int v = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = s[i];
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

// MuPDF's FreeType lock, through the context's lock callbacks (fz_lock's debug bookkeeping of
// non-release builds is not in the library).
void LockFreetype(fz_context* ctx) {
  ctx->locks.lock(ctx->locks.user, FZ_LOCK_FREETYPE);
}
void UnlockFreetype(fz_context* ctx) {
  ctx->locks.unlock(ctx->locks.user, FZ_LOCK_FREETYPE);
}

bool Scalar(int v) {
  return v > 0 && v <= 0x10FFFF && !(v >= 0xD800 && v < 0xE000);
}

// The Unicode value of one glyph of the font program, or 0.
int ProgramGlyphValue(FT_Face face, int gid, const std::unordered_map<int, int>& fromCmap) {
  auto it = fromCmap.find(gid);
  if (it != fromCmap.end()) return it->second;
  if (!FT_HAS_GLYPH_NAMES(face)) return 0;
  char name[64] = {};
  if (FT_Get_Glyph_Name(face, static_cast<FT_UInt>(gid), name, sizeof name) != 0) return 0;
  return GlyphNameValue(name);
}

}  // namespace

int GlyphNameValue(const char* name) {
  if (!name || !*name) return 0;
  // A suffix after a period names a variant of the same character (A.sc, uni4E2D.vert).
  char base[64];
  size_t n = std::strcspn(name, ".");
  if (n == 0 || n >= sizeof base) return 0;
  std::memcpy(base, name, n);
  base[n] = 0;
  const int agl = fz_unicode_from_glyph_name_strict(base);
  if (agl > 0 && agl != 0xFFFD) return agl;
  // uniXXXX (one character; longer forms name ligatures, which are left to the list) and
  // uXXXX to uXXXXXX, upper-case hexadecimal digits only.
  if (n == 7 && std::strncmp(base, "uni", 3) == 0) {
    const int v = HexValue(base + 3, 4);
    return Scalar(v) ? v : 0;
  }
  if (n >= 5 && n <= 7 && base[0] == 'u') {
    const int v = HexValue(base + 1, n - 1);
    return Scalar(v) ? v : 0;
  }
  return 0;
}

std::u32string_view LigatureLetters(int ucs) {
  static constexpr std::u32string_view kLetters[] = {U"ff",  U"fi", U"fl", U"ffi",
                                                     U"ffl", U"st", U"st"};
  return ucs >= 0xFB00 && ucs <= 0xFB06 ? kLetters[ucs - 0xFB00] : std::u32string_view();
}

std::u32string LigatureText(const char* name) {
  if (!name || !*name) return {};
  const size_t n = std::strcspn(name, ".");
  if (n == 0 || n >= 128) return {};
  std::u32string out;
  for (size_t at = 0; at < n;) {
    size_t len = std::strcspn(name + at, "_.");
    if (len == 0) return {};
    char part[128];
    std::memcpy(part, name + at, len);
    part[len] = 0;
    if (len > 7 && std::strncmp(part, "uni", 3) == 0 && (len - 3) % 4 == 0) {
      // uniXXXXYYYY...: one BMP character each four digits.
      for (size_t i = 3; i < len; i += 4) {
        const int v = HexValue(part + i, 4);
        if (!Scalar(v)) return {};
        out.push_back(static_cast<char32_t>(v));
      }
    } else {
      const int v = GlyphNameValue(part);
      if (v <= 0) return {};
      const std::u32string_view letters = LigatureLetters(v);
      if (letters.empty())
        out.push_back(static_cast<char32_t>(v));
      else
        out += letters;
    }
    at += len;
    if (at < n) ++at;  // the underscore
  }
  return out.size() > 1 ? out : std::u32string();
}

void ProgramCodeValues(fz_context* ctx, pdf_font_desc* desc, int values[256]) {
  std::memset(values, 0, 256 * sizeof(int));
  if (!desc || !desc->font) return;
  auto* face = static_cast<FT_Face>(fz_font_ft_face(ctx, desc->font));
  if (!face) return;
  int gids[256];
  for (int c = 0; c < 256; ++c)
    gids[c] =
        desc->cid_to_gid && static_cast<size_t>(c) < desc->cid_to_gid_len ? desc->cid_to_gid[c] : c;
  try {
    std::unordered_map<int, int> fromCmap;
    LockFreetype(ctx);
    // A Microsoft Unicode cmap (3,1) or (3,10) maps characters to glyphs; read it backwards for
    // the glyphs the codes use. The lowest character of a glyph wins.
    FT_CharMap saved = face->charmap;
    for (int i = 0; i < face->num_charmaps; ++i) {
      FT_CharMap cm = face->charmaps[i];
      if (cm->platform_id != 3 || (cm->encoding_id != 1 && cm->encoding_id != 10)) continue;
      if (FT_Set_Charmap(face, cm) != 0) continue;
      std::unordered_map<int, bool> wanted;
      for (int g : gids)
        if (g > 0) wanted[g] = true;
      FT_UInt gid = 0;
      FT_ULong ch = FT_Get_First_Char(face, &gid);
      for (long guard = 0; gid != 0 && guard < 0x110000; ++guard) {
        const int v = static_cast<int>(ch);
        if (wanted.count(static_cast<int>(gid)) && Scalar(v) &&
            !fromCmap.count(static_cast<int>(gid)))
          fromCmap[static_cast<int>(gid)] = v;
        ch = FT_Get_Next_Char(face, ch, &gid);
      }
    }
    if (saved) FT_Set_Charmap(face, saved);
    for (int c = 0; c < 256; ++c)
      if (gids[c] > 0) values[c] = ProgramGlyphValue(face, gids[c], fromCmap);
    UnlockFreetype(ctx);
  } catch (...) {
    UnlockFreetype(ctx);
    std::memset(values, 0, 256 * sizeof(int));
  }
}

}  // namespace pdfkit
