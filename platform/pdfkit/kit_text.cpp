// The text stream of the page-content kit.
//
// MuPDF's interpreter gathers the glyphs of consecutive text-showing operators into one text
// object and hands it to the device only when the text object ends, so one span can hold
// several operators and several lines. The kit wants runs that follow the content stream and
// never cover more than one line, so it patches the text-showing operators of the run
// processor: each one first decodes its own string into character codes, then lets the
// interpreter show it, then ends the pending text object at once (the ET operation, which
// only flushes and keeps the text matrix). Every device call thus carries exactly one
// operator's glyphs. Inside an operator, runs are split again wherever the baseline changes,
// the pen moves backwards or jumps far forward.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kit_graphics.h"
#include "kit_internal.h"
#include "kit_text.h"

namespace pdfkit {
namespace {

// Splitting thresholds, in ems of the run's font size.
constexpr double kBaselineTolerance = 0.05;  // a baseline shift beyond this starts a new run
constexpr double kFarJump = 1.5;             // a forward gap beyond this starts a new run

struct FontInfo {
  pdf_font_desc* desc = nullptr;  // kept
  fz_font* font = nullptr;        // desc->font
  int objNum = 0;
  std::u16string key;
  std::u16string name;
  std::u16string encoding;
  bool hasToUnicode = false;
  bool embedded = false;
  bool anyUsable = false;  // some character on the page has a usable Unicode value
  uint8_t style = 0;
  double ascender = 0.8;  // in ems
  double descender = -0.2;
  // Simple fonts without ToUnicode: the value of each code. -1: the encoding names the code's
  // glyph and MuPDF's value stands; above 0: the font program names the glyph; 0: nothing
  // names it. MuPDF guesses a value for unnamed codes (the code itself for printable ASCII),
  // which would make text of a custom encoding look like ordinary Latin text.
  bool checkCodes = false;
  std::array<int, 256> codeValue{};
  // Codes of a simple font whose glyph names stand for several characters (f_l, ffi) and that
  // no ToUnicode entry maps: their characters. MuPDF keeps only the first.
  std::unordered_map<int, std::u32string> ligatures;
};

struct Code {
  unsigned int cpt;  // content-stream code
  int cid;
  int gid;
};

struct Char {
  int gid = 0;
  int ucs = 0;  // Unicode value, 0 when unusable
  int cpt = -1;
  int cid = -1;
  int op = 0;
  fz_point origin{0, 0};
  fz_rect box = fz_empty_rect;
  double advance = 0;
};

struct Run {
  FontInfo* font = nullptr;
  fz_font* fzFont = nullptr;
  fz_matrix trm = fz_identity;  // glyph space (one em) to kit space, without translation
  int wmode = 0;
  int op = 0;
  uint8_t renderMode = 0;
  std::vector<Char> chars;
  size_t lastGlyph = 0;  // index in chars of the first character of the last glyph
};

struct TextState;

// The device that receives one operator's glyphs per call.
struct TextDevice {
  fz_device super;
  TextState* state;
};

struct SavedOps {
  void (*Tf)(fz_context*, pdf_processor*, const char*, pdf_font_desc*, float) = nullptr;
  void (*q)(fz_context*, pdf_processor*) = nullptr;
  void (*Q)(fz_context*, pdf_processor*) = nullptr;
  void (*ET)(fz_context*, pdf_processor*) = nullptr;
  void (*TJ)(fz_context*, pdf_processor*, pdf_obj*) = nullptr;
  void (*Tj)(fz_context*, pdf_processor*, char*, size_t) = nullptr;
  void (*squote)(fz_context*, pdf_processor*, char*, size_t) = nullptr;
  void (*dquote)(fz_context*, pdf_processor*, float, float, char*, size_t) = nullptr;
  void (*Do_form)(fz_context*, pdf_processor*, const char*, pdf_obj*, pdf_obj*) = nullptr;
};

struct TextState {
  PTK_Document* hDoc = nullptr;
  fz_context* ctx = nullptr;
  std::deque<FontInfo> fonts;
  std::unordered_map<fz_font*, FontInfo*> byFont;
  std::unordered_set<int> visitedObjs;
  std::vector<Run> runs;
  // Interpreter state seen through the patched operators.
  SavedOps ops;
  pdf_font_desc* curFont = nullptr;
  std::vector<pdf_font_desc*> fontStack;
  std::vector<Code> codes;  // the current operator's codes, in order
  size_t codeCursor = 0;
  int opIndex = -1;
  unsigned flushSerial = 0;  // one per patched flush
  unsigned lastSerial = ~0u;
  const fz_text* lastText = nullptr;
  long deviceCalls = 0;
  bool failed = false;  // a C++ allocation failed
};

thread_local TextState* tlsState = nullptr;

// ---- fonts -------------------------------------------------------------------------------

std::u16string AsciiKey(const char* text) {
  std::u16string out;
  for (const char* p = text; *p; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

// Fills the descriptive fields of a font from its dictionary. No MuPDF call here throws on
// a damaged dictionary (lookups of missing entries return null).
void DescribeFont(fz_context* ctx, pdf_obj* dict, FontInfo* info) {
  pdf_obj* subtype = pdf_dict_get(ctx, dict, PDF_NAME(Subtype));
  const char* base = pdf_to_name(ctx, pdf_dict_get(ctx, dict, PDF_NAME(BaseFont)));
  if (!*base) base = pdf_to_name(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Name)));
  if (!*base && info->font) base = fz_font_name(ctx, info->font);
  info->name = WidenPdfText(base);

  pdf_obj* enc = pdf_dict_get(ctx, dict, PDF_NAME(Encoding));
  if (pdf_is_name(ctx, enc)) {
    info->encoding = WidenPdfText(pdf_to_name(ctx, enc));
  } else if (pdf_is_stream(ctx, enc)) {
    const char* cmapName = pdf_to_name(ctx, pdf_dict_gets(ctx, enc, "CMapName"));
    info->encoding = *cmapName ? WidenPdfText(cmapName) : u"Embedded";
  } else if (pdf_is_dict(ctx, enc)) {
    const char* baseEnc = pdf_to_name(ctx, pdf_dict_get(ctx, enc, PDF_NAME(BaseEncoding)));
    info->encoding = *baseEnc ? WidenPdfText(baseEnc) : u"Differences";
  } else {
    info->encoding = u"BuiltIn";
  }
  info->hasToUnicode = pdf_dict_get(ctx, dict, PDF_NAME(ToUnicode)) != nullptr;

  pdf_obj* descDict = dict;
  if (pdf_name_eq(ctx, subtype, PDF_NAME(Type0)))
    descDict = pdf_array_get(ctx, pdf_dict_get(ctx, dict, PDF_NAME(DescendantFonts)), 0);
  pdf_obj* fd = pdf_dict_get(ctx, descDict, PDF_NAME(FontDescriptor));
  const bool type3 = pdf_name_eq(ctx, subtype, PDF_NAME(Type3));
  const bool program = pdf_dict_get(ctx, fd, PDF_NAME(FontFile)) ||
                       pdf_dict_get(ctx, fd, PDF_NAME(FontFile2)) ||
                       pdf_dict_get(ctx, fd, PDF_NAME(FontFile3));
  info->embedded = type3 || program;

  const bool simple = !pdf_name_eq(ctx, subtype, PDF_NAME(Type0));
  const pdf_cmap* cmap = info->desc ? info->desc->encoding : nullptr;
  if (simple && cmap && std::strcmp(cmap->cmap_name, "Identity-H") != 0) {
    // MuPDF reads this simple font as holding the double-byte codes of a named CMap (Chinese
    // producers write GBK byte pairs in WinAnsi fonts named in GBK): that CMap is its encoding,
    // and MuPDF's values are the characters.
    info->encoding = WidenPdfText(cmap->cmap_name);
  } else if (simple && (enc || program)) {
    const char* names[256] = {};
    const char* baseName = pdf_is_name(ctx, enc)
                               ? pdf_to_name(ctx, enc)
                               : pdf_to_name(ctx, pdf_dict_get(ctx, enc, PDF_NAME(BaseEncoding)));
    if (*baseName) pdf_load_encoding(names, baseName);
    pdf_obj* diff = pdf_dict_get(ctx, enc, PDF_NAME(Differences));
    int64_t code = 0;
    for (int i = 0, n = pdf_array_len(ctx, diff); i < n; ++i) {
      pdf_obj* item = pdf_array_get(ctx, diff, i);
      if (pdf_is_int(ctx, item)) {
        code = pdf_to_int(ctx, item);
      } else if (pdf_is_name(ctx, item)) {
        if (code >= 0 && code < 256) names[code] = pdf_to_name(ctx, item);
        ++code;  // 64 bits: counting on from INT_MAX cannot overflow
      }
    }
    pdf_cmap* toUnicode = info->desc ? info->desc->to_unicode : nullptr;
    for (int c = 0; c < 256; ++c) {
      if (!names[c]) continue;
      int mapped[PDF_MRANGE_CAP];
      if (toUnicode && pdf_lookup_cmap_full(toUnicode, static_cast<unsigned>(c), mapped) > 0)
        continue;
      std::u32string text = LigatureText(names[c]);
      if (!text.empty()) info->ligatures.emplace(c, std::move(text));
    }
    if (!info->hasToUnicode) {
      int fromProgram[256] = {};
      if (program && !type3) ProgramCodeValues(ctx, info->desc, fromProgram);
      info->checkCodes = true;
      for (int c = 0; c < 256; ++c)
        info->codeValue[c] = names[c] && GlyphNameValue(names[c]) > 0 ? -1 : fromProgram[c];
    }
  }

  if (info->font) {
    info->style = static_cast<uint8_t>((fz_font_is_bold(ctx, info->font) ? 1 : 0) |
                                       (fz_font_is_italic(ctx, info->font) ? 2 : 0) |
                                       (fz_font_is_serif(ctx, info->font) ? 4 : 0) |
                                       (fz_font_is_monospaced(ctx, info->font) ? 8 : 0));
    info->ascender = fz_font_ascender(ctx, info->font);
    info->descender = fz_font_descender(ctx, info->font);
  }
}

// Registers a loaded font. Returns false when a C++ allocation failed.
bool AddFont(TextState* st, pdf_obj* dict, pdf_font_desc* desc, int parentNum,
             const char* resName) {
  fz_context* ctx = st->ctx;
  try {
    if (st->byFont.count(desc->font)) {
      pdf_drop_font(ctx, desc);
      return true;
    }
    st->fonts.emplace_back();
    FontInfo& info = st->fonts.back();
    info.desc = desc;
    info.font = desc->font;
    info.objNum = pdf_to_num(ctx, dict);
    if (info.objNum > 0) {
      char key[48];
      std::snprintf(key, sizeof key, "%d %d R", info.objNum, pdf_to_gen(ctx, dict));
      info.key = AsciiKey(key);
    } else {
      char key[48];
      std::snprintf(key, sizeof key, "D%d/", parentNum);
      info.key = AsciiKey(key) + WidenPdfText(resName);
    }
    DescribeFont(ctx, dict, &info);
    st->byFont[desc->font] = &info;
    return true;
  } catch (...) {
    pdf_drop_font(ctx, desc);
    return false;
  }
}

bool MarkVisited(TextState* st, pdf_obj* obj) {
  int num = pdf_to_num(st->ctx, obj);
  if (num <= 0) return true;
  try {
    return st->visitedObjs.insert(num).second;
  } catch (...) {
    return false;
  }
}

pdf_font_desc* TryLoadFont(fz_context* ctx, pdf_document* doc, pdf_obj* res, pdf_obj* dict) {
  pdf_font_desc* desc = nullptr;
  fz_var(desc);
  fz_try(ctx) {
    desc = pdf_load_font(ctx, doc, res, dict);
  }
  fz_catch(ctx) {
    desc = nullptr;
  }
  return desc;
}

// Loads every font reachable from a resource dictionary: its fonts, and the resources of its
// form XObjects, patterns and Type 3 fonts. pdf_load_font caches by dictionary, so the fonts
// the interpreter loads later are the same objects and can be matched to their dictionaries.
void WalkResources(TextState* st, pdf_obj* res, int parentNum, int depth) {
  fz_context* ctx = st->ctx;
  if (!res || depth > 8 || !MarkVisited(st, res)) return;
  pdf_obj* fonts = pdf_dict_get(ctx, res, PDF_NAME(Font));
  int n = pdf_dict_len(ctx, fonts);
  for (int i = 0; i < n && i < 4096; ++i) {
    pdf_obj* dict = pdf_dict_get_val(ctx, fonts, i);
    if (!pdf_is_dict(ctx, dict) || !MarkVisited(st, dict)) continue;
    ShareFontProgram(st->hDoc, dict);
    pdf_font_desc* desc = TryLoadFont(ctx, st->hDoc->doc, res, dict);
    if (desc) AddFont(st, dict, desc, parentNum, pdf_to_name(ctx, pdf_dict_get_key(ctx, fonts, i)));
    pdf_obj* t3res = pdf_dict_get(ctx, dict, PDF_NAME(Resources));
    if (t3res) WalkResources(st, t3res, pdf_to_num(ctx, dict), depth + 1);
  }
  pdf_obj* groups[2] = {pdf_dict_get(ctx, res, PDF_NAME(XObject)),
                        pdf_dict_get(ctx, res, PDF_NAME(Pattern))};
  for (pdf_obj* group : groups) {
    int m = pdf_dict_len(ctx, group);
    for (int i = 0; i < m && i < 4096; ++i) {
      pdf_obj* obj = pdf_dict_get_val(ctx, group, i);
      pdf_obj* sub = pdf_dict_get(ctx, obj, PDF_NAME(Resources));
      if (sub) WalkResources(st, sub, pdf_to_num(ctx, obj), depth + 1);
    }
  }
}

// ---- patched operators -------------------------------------------------------------------

// Decodes a string of the current font into codes, as the interpreter will show them.
void DecodeString(TextState* st, const unsigned char* s, size_t len) {
  pdf_font_desc* desc = st->curFont;
  if (!desc || !desc->encoding || st->failed) return;
  auto* p = const_cast<unsigned char*>(s);
  unsigned char* end = p + len;
  try {
    while (p < end) {
      unsigned int cpt = 0;
      int w = pdf_decode_cmap(desc->encoding, p, end, &cpt);
      if (w <= 0) break;
      p += w;
      int cid = pdf_lookup_cmap(desc->encoding, cpt);
      int gid = cid >= 0 ? pdf_font_cid_to_gid(st->ctx, desc, cid) : -1;
      st->codes.push_back(Code{cpt, cid, gid});
    }
  } catch (...) {
    st->failed = true;
  }
}

void BeginShow(TextState* st) {
  st->codes.clear();
  st->codeCursor = 0;
  ++st->opIndex;
}

// Ends the pending text object so that the device sees this operator's glyphs alone.
void EndShow(fz_context* ctx, pdf_processor* proc, TextState* st) {
  ++st->flushSerial;
  st->ops.ET(ctx, proc);
}

void HookTf(fz_context* ctx, pdf_processor* proc, const char* name, pdf_font_desc* font,
            float size) {
  TextState* st = tlsState;
  st->curFont = font;
  st->ops.Tf(ctx, proc, name, font, size);
}

void HookQ(fz_context* ctx, pdf_processor* proc) {
  TextState* st = tlsState;
  if (!st->fontStack.empty()) {
    st->curFont = st->fontStack.back();
    st->fontStack.pop_back();
  }
  st->ops.Q(ctx, proc);
}

void Hookq(fz_context* ctx, pdf_processor* proc) {
  TextState* st = tlsState;
  if (st->fontStack.size() < 4096) {
    try {
      st->fontStack.push_back(st->curFont);
    } catch (...) {
      st->failed = true;
    }
  }
  st->ops.q(ctx, proc);
}

void HookDoForm(fz_context* ctx, pdf_processor* proc, const char* name, pdf_obj* form,
                pdf_obj* res) {
  // The form runs inside a saved graphics state of its own; restore the font after it.
  TextState* st = tlsState;
  pdf_font_desc* saved = st->curFont;
  size_t depth = st->fontStack.size();
  st->ops.Do_form(ctx, proc, name, form, res);
  st = tlsState;
  st->curFont = saved;
  if (st->fontStack.size() > depth) st->fontStack.resize(depth);
}

void HookTj(fz_context* ctx, pdf_processor* proc, char* str, size_t len) {
  TextState* st = tlsState;
  BeginShow(st);
  DecodeString(st, reinterpret_cast<unsigned char*>(str), len);
  st->ops.Tj(ctx, proc, str, len);
  EndShow(ctx, proc, st);
}

void HookSquote(fz_context* ctx, pdf_processor* proc, char* str, size_t len) {
  TextState* st = tlsState;
  BeginShow(st);
  DecodeString(st, reinterpret_cast<unsigned char*>(str), len);
  st->ops.squote(ctx, proc, str, len);
  EndShow(ctx, proc, st);
}

void HookDquote(fz_context* ctx, pdf_processor* proc, float aw, float ac, char* str, size_t len) {
  TextState* st = tlsState;
  BeginShow(st);
  DecodeString(st, reinterpret_cast<unsigned char*>(str), len);
  st->ops.dquote(ctx, proc, aw, ac, str, len);
  EndShow(ctx, proc, st);
}

void HookTJ(fz_context* ctx, pdf_processor* proc, pdf_obj* array) {
  TextState* st = tlsState;
  BeginShow(st);
  int n = pdf_array_len(ctx, array);
  for (int i = 0; i < n; ++i) {
    pdf_obj* item = pdf_array_get(ctx, array, i);
    if (pdf_is_string(ctx, item))
      DecodeString(st, reinterpret_cast<const unsigned char*>(pdf_to_str_buf(ctx, item)),
                   pdf_to_str_len(ctx, item));
  }
  st->ops.TJ(ctx, proc, array);
  EndShow(ctx, proc, st);
}

// ---- the device --------------------------------------------------------------------------

// True when a Unicode value read from the font stands for a real character.
bool Usable(int ucs) {
  return ucs > 0 && ucs != 0xFFFD && ucs != 0xFFFE && ucs != 0xFFFF && ucs >= 0x20 &&
         !(ucs >= 0x7F && ucs < 0xA0) && !(ucs >= 0xD800 && ucs < 0xE000) && ucs <= 0x10FFFF;
}

double Length(double x, double y) {
  return std::sqrt(x * x + y * y);
}

// Finds the code that produced glyph gid, moving through the operator's codes in order.
const Code* MatchCode(TextState* st, int gid) {
  for (size_t i = st->codeCursor; i < st->codes.size(); ++i) {
    if (st->codes[i].gid == gid) {
      st->codeCursor = i + 1;
      return &st->codes[i];
    }
  }
  return nullptr;
}

// The ink box of an outline glyph in em space (empty for a glyph without ink). MuPDF's own
// glyph bounds fall back to the whole font box for large fonts (CJK fonts have tens of
// thousands of glyphs) and for substituted fonts, which is no use for layout.
bool OutlineBox(fz_context* ctx, fz_font* font, int gid, fz_rect* box) {
  fz_path* path = nullptr;
  bool ok = true;
  fz_var(path);
  fz_try(ctx) {
    path = fz_outline_glyph(ctx, font, gid, fz_identity);
    *box = path ? fz_bound_path(ctx, path, nullptr, fz_identity) : fz_empty_rect;
  }
  fz_always(ctx) {
    fz_drop_path(ctx, path);
  }
  fz_catch(ctx) {
    ok = false;
  }
  return ok;
}

// Glyph metrics through MuPDF, in a protected block of their own. The box is asked for only
// when box is not null.
bool GlyphMetrics(fz_context* ctx, fz_font* font, int gid, int wmode, fz_matrix trm, fz_rect* box,
                  float* advance) {
  bool ok = true;
  fz_try(ctx) {
    if (box) *box = fz_bound_glyph(ctx, font, gid, trm);
    *advance = fz_advance_glyph(ctx, font, gid, wmode);
  }
  fz_catch(ctx) {
    ok = false;
  }
  return ok;
}

// The glyph's ink box in kit space and its advance in ems.
bool GlyphBox(TextState* st, FontInfo* font, fz_font* fzFont, int gid, int wmode, fz_matrix trm,
              fz_rect* box, float* advance) {
  if (!fzFont->ft_face || !font)
    return GlyphMetrics(st->ctx, fzFont, gid, wmode, trm, box, advance);
  if (!GlyphMetrics(st->ctx, fzFont, gid, wmode, trm, nullptr, advance)) return false;
  std::unordered_map<int, fz_rect>& cache = st->hDoc->glyphBoxes[font->key];
  auto it = cache.find(gid);
  fz_rect em;
  if (it != cache.end()) {
    em = it->second;
  } else {
    if (!OutlineBox(st->ctx, fzFont, gid, &em)) return false;
    cache.emplace(gid, em);
  }
  *box = fz_is_empty_rect(em) ? fz_empty_rect : fz_transform_rect(em, trm);
  return true;
}

void CollectSpan(TextState* st, const fz_text_span* span, fz_matrix ctm, uint8_t renderMode) {
  auto found = st->byFont.find(span->font);
  FontInfo* font = found == st->byFont.end() ? nullptr : found->second;
  bool codesApply = st->curFont && st->curFont->font == span->font;

  fz_matrix emToKit =
      fz_concat(fz_make_matrix(span->trm.a, span->trm.b, span->trm.c, span->trm.d, 0, 0),
                fz_make_matrix(ctm.a, ctm.b, ctm.c, ctm.d, 0, 0));
  double emSize = Length(emToKit.c, emToKit.d);
  if (!(emSize > 1e-6)) emSize = Length(emToKit.a, emToKit.b);
  if (!(emSize > 1e-6) || !std::isfinite(emSize)) return;
  int wmode = span->wmode;
  // Unit vectors along the writing direction and across it.
  double dx = wmode ? -emToKit.c : emToKit.a, dy = wmode ? -emToKit.d : emToKit.b;
  double dl = Length(dx, dy);
  if (!(dl > 1e-9)) return;
  double advScale = dl;
  dx /= dl;
  dy /= dl;

  Run* run = nullptr;
  if (!st->runs.empty()) {
    Run& last = st->runs.back();
    if (last.op == st->opIndex && last.fzFont == span->font && last.wmode == wmode &&
        std::fabs(last.trm.a - emToKit.a) < 1e-6 && std::fabs(last.trm.b - emToKit.b) < 1e-6 &&
        std::fabs(last.trm.c - emToKit.c) < 1e-6 && std::fabs(last.trm.d - emToKit.d) < 1e-6)
      run = &last;
  }

  bool overprinted = false;  // the last glyph was merged into the one before it
  for (int i = 0; i < span->len; ++i) {
    const fz_text_item& item = span->items[i];
    fz_point origin = fz_transform_point(fz_make_point(item.x, item.y), ctm);
    if (item.gid < 0) {
      // One glyph standing for several characters: the extra characters share its place.
      if (run && !run->chars.empty() && Usable(item.ucs) && !overprinted) {
        Char extra = run->chars.back();
        extra.ucs = item.ucs;
        run->chars.push_back(extra);
      }
      continue;
    }
    fz_matrix trm = fz_make_matrix(emToKit.a, emToKit.b, emToKit.c, emToKit.d, origin.x, origin.y);
    fz_rect box;
    float adv = 0;
    if (!GlyphBox(st, font, span->font, item.gid, wmode, trm, &box, &adv)) {
      box = fz_empty_rect;
      adv = 0;
    }
    if (fz_is_empty_rect(box) || !std::isfinite(box.x0) || !std::isfinite(box.y1))
      box = fz_make_rect(origin.x, origin.y, origin.x, origin.y);
    if (item.ucs < 0 && run && !run->chars.empty()) {
      // A further glyph of the previous character: widen that character's box.
      run->chars.back().box = fz_union_rect(run->chars.back().box, box);
      continue;
    }

    // Decide whether this glyph continues the current run.
    if (run && !run->chars.empty()) {
      const Char& prev = run->chars.back();
      double along = (origin.x - prev.origin.x) * dx + (origin.y - prev.origin.y) * dy;
      double across = -(origin.x - prev.origin.x) * dy + (origin.y - prev.origin.y) * dx;
      double expected = prev.advance;
      if (std::fabs(across) > kBaselineTolerance * emSize || along < -1e-3 * emSize ||
          along - expected > kFarJump * emSize)
        run = nullptr;
    }
    if (!run) {
      st->runs.emplace_back();
      run = &st->runs.back();
      run->font = font;
      run->fzFont = span->font;
      run->trm = emToKit;
      run->wmode = wmode;
      run->op = st->opIndex;
      run->renderMode = renderMode;
    }
    Char ch;
    ch.gid = item.gid;
    ch.op = st->opIndex;
    ch.origin = origin;
    ch.box = box;
    ch.advance = adv * advScale;
    if (codesApply) {
      if (const Code* code = MatchCode(st, item.gid)) {
        ch.cpt = static_cast<int>(code->cpt);
        ch.cid = code->cid;
      }
    }
    ch.ucs = Usable(item.ucs) ? item.ucs : 0;
    if (font && font->checkCodes) {
      const int value = ch.cpt >= 0 && ch.cpt < 256 ? font->codeValue[ch.cpt] : 0;
      if (value >= 0) ch.ucs = Usable(value) ? value : 0;
    }
    // A ligature glyph gives its letters, one character each at the glyph's place.
    std::u32string_view letters;
    if (font && ch.cpt >= 0 && !font->ligatures.empty()) {
      auto lig = font->ligatures.find(ch.cpt);
      if (lig != font->ligatures.end()) letters = lig->second;
    }
    if (letters.empty()) letters = LigatureLetters(ch.ucs);
    if (!letters.empty()) ch.ucs = static_cast<int>(letters[0]);
    if (font && ch.ucs) font->anyUsable = true;
    // The same glyph again within a tenth of an em of the last one is that glyph overprinted
    // (how many producers fake a bold face): one character, the union of the ink.
    if (!run->chars.empty()) {
      Char& last = run->chars[run->lastGlyph];
      if (last.gid == ch.gid && last.ucs == ch.ucs &&
          std::fabs(origin.x - last.origin.x) + std::fabs(origin.y - last.origin.y) <
              0.1 * emSize) {
        for (size_t k = run->lastGlyph; k < run->chars.size(); ++k)
          run->chars[k].box = fz_union_rect(run->chars[k].box, ch.box);
        overprinted = true;
        continue;
      }
    }
    overprinted = false;
    run->lastGlyph = run->chars.size();
    run->chars.push_back(ch);
    for (size_t k = 1; k < letters.size(); ++k) {
      ch.ucs = static_cast<int>(letters[k]);
      run->chars.push_back(ch);
    }
  }
}

// The part of a run's box that a glyph with ink contributes: along the line from its origin to
// the right edge of its ink, across it the fixed cell from 0.12 em below the baseline to 0.88 em
// above it. Ink differs from glyph to glyph and from font to font (ideographs reach below the
// baseline, digits stop on it, side bearings vary), so runs on one baseline and the lines of one
// column would otherwise get edges that step back and forth, which layout reads as slanted
// lines. The right edge stays with the ink so that punctuation hanging into a gutter does not
// close it. Glyphs without ink contribute nothing; lines of vertical writing keep their ink.
fz_rect LineCell(const Run& r, const Char& ch) {
  if (r.wmode != 0 || fz_is_empty_rect(ch.box)) return ch.box;
  const float det = r.trm.a * r.trm.d - r.trm.b * r.trm.c;
  if (!(std::fabs(det) > 1e-9f)) return ch.box;
  const fz_rect ink =
      fz_transform_rect(fz_make_rect(ch.box.x0 - ch.origin.x, ch.box.y0 - ch.origin.y,
                                     ch.box.x1 - ch.origin.x, ch.box.y1 - ch.origin.y),
                        fz_invert_matrix(r.trm));
  const float x0 = ink.x1 > 0 ? 0.0f : ink.x0;
  fz_rect cell = fz_transform_rect(fz_make_rect(x0, -0.12f, ink.x1, 0.88f), r.trm);
  cell = fz_translate_rect(cell, ch.origin.x, ch.origin.y);
  if (!std::isfinite(cell.x0) || !std::isfinite(cell.y0) || !std::isfinite(cell.x1) ||
      !std::isfinite(cell.y1))
    return ch.box;
  return cell;
}

// The smallest rectangle holding both (zero-width rectangles included); a is kept when b is not
// finite.
fz_rect Enclose(fz_rect a, fz_rect b) {
  if (!std::isfinite(b.x0) || !std::isfinite(b.y0) || !std::isfinite(b.x1) ||
      !std::isfinite(b.y1) || b.x0 > b.x1 || b.y0 > b.y1)
    return a;
  return fz_make_rect(std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1),
                      std::max(a.y1, b.y1));
}

// The line cell of zero width at a pen position.
fz_rect OriginCell(const Run& r, fz_point origin) {
  const fz_rect cell = fz_translate_rect(
      fz_transform_rect(fz_make_rect(0, -0.12f, 0, 0.88f), r.trm), origin.x, origin.y);
  return cell;
}

void CollectText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
                 uint8_t renderMode) {
  TextState* st = reinterpret_cast<TextDevice*>(dev)->state;
  if (++st->deviceCalls > kMaxDeviceCalls) fz_throw(ctx, FZ_ERROR_ABORT, "too many text objects");
  // Fill and stroke (or clip) of the same text arrive as two calls of one flush.
  if (st->lastSerial == st->flushSerial && st->lastText == text) return;
  st->lastSerial = st->flushSerial;
  st->lastText = text;
  if (st->failed) return;
  try {
    for (const fz_text_span* span = text->head; span; span = span->next)
      CollectSpan(st, span, ctm, renderMode);
  } catch (...) {
    st->failed = true;
  }
}

void DevFillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
                 fz_colorspace*, const float*, float, fz_color_params) {
  CollectText(ctx, dev, text, ctm, 0);
}
void DevStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state*,
                   fz_matrix ctm, fz_colorspace*, const float*, float, fz_color_params) {
  CollectText(ctx, dev, text, ctm, 1);
}
void DevClipText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect) {
  CollectText(ctx, dev, text, ctm, 7);
}
void DevClipStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state*,
                       fz_matrix ctm, fz_rect) {
  CollectText(ctx, dev, text, ctm, 7);
}
void DevIgnoreText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
  CollectText(ctx, dev, text, ctm, 3);
}

// ---- running the page --------------------------------------------------------------------

void PatchProcessor(TextState* st, pdf_processor* proc) {
  st->ops.Tf = proc->op_Tf;
  st->ops.q = proc->op_q;
  st->ops.Q = proc->op_Q;
  st->ops.ET = proc->op_ET;
  st->ops.TJ = proc->op_TJ;
  st->ops.Tj = proc->op_Tj;
  st->ops.squote = proc->op_squote;
  st->ops.dquote = proc->op_dquote;
  st->ops.Do_form = proc->op_Do_form;
  proc->op_Tf = HookTf;
  proc->op_q = Hookq;
  proc->op_Q = HookQ;
  proc->op_TJ = HookTJ;
  proc->op_Tj = HookTj;
  proc->op_squote = HookSquote;
  proc->op_dquote = HookDquote;
  proc->op_Do_form = HookDoForm;
}

// Interprets the page's content stream with the patched processor. The same pass gathers the
// page's images and paths for the image and path streams, which the document keeps.
// Returns false on error.
bool InterpretPage(TextState* st, int nPage) {
  fz_context* ctx = st->ctx;
  PTK_Document* hDoc = st->hDoc;
  PageFrame frame;
  fz_device* dev = nullptr;
  fz_device* graphics = nullptr;
  pdf_processor* proc = nullptr;
  fz_cookie cookie = {};
  PageGuard guard(hDoc, nPage, &cookie);
  bool ok = true;
  fz_var(dev);
  fz_var(graphics);
  fz_var(proc);
  fz_try(ctx) {
    if (PastLimits(hDoc, nPage)) fz_throw(ctx, FZ_ERROR_ABORT, "page past its limits");
    LoadPageFrame(hDoc, nPage, &frame);
    pdf_obj* resources = pdf_page_resources(ctx, frame.page);
    WalkResources(st, resources, pdf_to_num(ctx, frame.page->obj), 0);
    auto* tdev = fz_new_derived_device(ctx, TextDevice);
    tdev->state = st;
    tdev->super.fill_text = DevFillText;
    tdev->super.stroke_text = DevStrokeText;
    tdev->super.clip_text = DevClipText;
    tdev->super.clip_stroke_text = DevClipStrokeText;
    tdev->super.ignore_text = DevIgnoreText;
    dev = &tdev->super;
    graphics = NewGraphicsDevice(ctx, kGatherImages | kGatherPaths, dev, &cookie);
    proc = pdf_new_run_processor(ctx, graphics, frame.userToKit, "View", nullptr, nullptr, &cookie);
    PatchProcessor(st, proc);
    GuardProcessor(&guard, proc);
    pdf_process_contents(ctx, proc, hDoc->doc, resources, pdf_page_contents(ctx, frame.page),
                         &cookie);
    pdf_close_processor(ctx, proc);
    fz_close_device(ctx, graphics);
    DetachGraphicsDevice(graphics);
    fz_drop_device(ctx, hDoc->graphics);
    hDoc->graphics = graphics;
    hDoc->graphicsPage = nPage;
    graphics = nullptr;
  }
  fz_always(ctx) {
    pdf_drop_processor(ctx, proc);
    fz_drop_device(ctx, graphics);
    fz_drop_device(ctx, dev);
  }
  fz_catch(ctx) {
    ok = false;
  }
  return ok && !st->failed;
}

// ---- output ------------------------------------------------------------------------------

struct TextStream {
  std::vector<PTK_TextRun> runs;
  std::vector<PTK_CharRecord> chars;
  std::deque<std::u16string> strings;
  std::vector<int32_t> params;
};

std::mutex gStreamsMutex;
std::unordered_map<const PTK_TextRun*, TextStream*>& Streams() {
  static auto* streams = new std::unordered_map<const PTK_TextRun*, TextStream*>;
  return *streams;
}

const char16_t* Intern(TextStream* out, const std::u16string& s) {
  out->strings.push_back(s);
  return out->strings.back().c_str();
}

void FillChar(const Char& ch, PTK_CharRecord* rec, TextStream* out) {
  std::memset(rec, 0, sizeof *rec);
  rec->nGlyph = ch.gid;
  rec->nCharCode = ch.cpt;
  rec->nCid = ch.cid;
  rec->dAdvance = ch.advance;
  rec->nOpIndex = ch.op;
  rec->dOriginX = ch.origin.x;
  rec->dOriginY = ch.origin.y;
  rec->dX0 = ch.box.x0;
  rec->dY0 = ch.box.y0;
  rec->dX1 = ch.box.x1;
  rec->dY1 = ch.box.y1;
  if (ch.box.x0 == ch.box.x1 && ch.box.y0 == ch.box.y1) rec->nFlags |= PTK_CF_BLANK;
  if (ch.ucs) {
    int ucs = MapCompatIdeograph(ch.ucs);
    if (ucs > 0xFFFF) {
      char16_t pair[3] = {static_cast<char16_t>(0xD800 + ((ucs - 0x10000) >> 10)),
                          static_cast<char16_t>(0xDC00 + ((ucs - 0x10000) & 0x3FF)), 0};
      rec->nCode = pair[0];
      rec->pszText = Intern(out, pair);
    } else {
      rec->nCode = ucs;
    }
    rec->nNoCode = PTK_HAS_CODE;
  } else {
    // No usable Unicode value: the content-stream code stands in and marks itself.
    rec->nCode = ch.cpt >= 0 ? ch.cpt : ch.gid;
    rec->nNoCode = rec->nCode;
    rec->nFlags |= PTK_CF_NOCODE;
  }
}

PTK_TextRun* BuildStream(TextState* st) {
  size_t nRuns = 0, nChars = 0;
  for (const Run& r : st->runs)
    if (!r.chars.empty()) {
      ++nRuns;
      nChars += r.chars.size();
    }
  if (nRuns == 0) return nullptr;
  auto out = std::make_unique<TextStream>();
  out->runs.resize(nRuns);
  out->chars.resize(nChars);
  out->params.resize(2 * nRuns);
  size_t ri = 0, ci = 0;
  for (const Run& r : st->runs) {
    if (r.chars.empty()) continue;
    PTK_TextRun* run = &out->runs[ri];
    std::memset(run, 0, sizeof *run);
    run->nIndex = static_cast<int32_t>(ri);
    run->pChars = &out->chars[ci];
    run->nCharCount = static_cast<uint32_t>(r.chars.size());
    fz_rect box = fz_empty_rect;
    bool inked = false;
    const Char* firstBlank = nullptr;  // the first of the blanks that open the run
    for (const Char& ch : r.chars) {
      FillChar(ch, &out->chars[ci++], out.get());
      if (fz_is_empty_rect(ch.box)) {
        if (!inked && !firstBlank) firstBlank = &ch;
        continue;
      }
      const fz_rect cell = LineCell(r, ch);
      if (!inked) {
        box = cell;
        inked = true;
        // An indent set with blanks belongs to the run: its box starts at the first blank.
        if (firstBlank && r.wmode == 0) box = Enclose(box, OriginCell(r, firstBlank->origin));
      } else {
        box = Enclose(box, cell);
      }
    }
    if (!inked) box = fz_empty_rect;
    // A run made of glyphs without ink keeps a zero-size box at its first origin.
    if (!std::isfinite(box.x0) || box.x0 > box.x1)
      box = fz_make_rect(r.chars[0].origin.x, r.chars[0].origin.y, r.chars[0].origin.x,
                         r.chars[0].origin.y);
    run->dX0 = box.x0;
    run->dY0 = box.y0;
    run->dX1 = box.x1;
    run->dY1 = box.y1;
    const fz_matrix& m = r.trm;
    run->nAttr1 = r.wmode;
    run->dFontSize = Length(m.c, m.d);
    run->dVertSize = std::fabs(m.b) + std::fabs(m.d);
    run->bFlags = (r.renderMode == 3 || r.renderMode == 7) ? 1 : 0;
    run->bFlag1 = r.renderMode;
    run->dAngle1 = std::atan2(m.b, m.a);
    run->dAngle2 = std::atan2(m.a * m.c + m.b * m.d, m.a * m.d - m.b * m.c);
    run->pParams = &out->params[2 * ri];
    run->pParams[1] = r.op;
    if (r.font) {
      const FontInfo& f = *r.font;
      run->pszEncoding = !f.anyUsable ? u"Custom" : Intern(out.get(), f.encoding);
      run->pszFontKey = Intern(out.get(), f.key);
      run->pszFontName = Intern(out.get(), f.name);
      run->bFlag2 = f.style;
      run->bFlag3 = f.embedded ? 1 : 0;
      run->pParams[0] = f.objNum;
    } else {
      // A font the resources do not name (e.g. one loaded from an inline dictionary).
      std::u16string name = WidenPdfText(fz_font_name(st->ctx, r.fzFont));
      run->pszFontName = Intern(out.get(), name);
      run->pszFontKey = Intern(out.get(), u"font:" + name);
      run->pszEncoding = u"Custom";
    }
    run->dMetric1 = r.font ? r.font->ascender : 0.8;
    run->dMetric2 = r.font ? r.font->descender : -0.2;
    run->pNext = ri + 1 < nRuns ? &out->runs[ri + 1] : nullptr;
    ++ri;
  }
  PTK_TextRun* first = &out->runs[0];
  std::lock_guard<std::mutex> lock(gStreamsMutex);
  Streams()[first] = out.release();
  return first;
}

// Hands the page's direct fonts (font dictionaries that are no objects of their own) to the
// document, so that glyph bitmaps can find them by key. Fonts that are objects are found
// again by their object number when a glyph is asked for, through MuPDF's font cache; keeping
// them all would hold every font of a long document in memory.
void KeepFonts(TextState* st) {
  constexpr size_t kMaxKeptFonts = 256;
  for (FontInfo& f : st->fonts) {
    if (!f.desc || f.objNum > 0 || st->hDoc->fonts.size() >= kMaxKeptFonts) continue;
    if (st->hDoc->fonts.emplace(f.key, f.desc).second) f.desc = nullptr;  // ownership moved
  }
}

void DropFonts(TextState* st) {
  for (FontInfo& f : st->fonts)
    if (f.desc) pdf_drop_font(st->ctx, f.desc);
  st->fonts.clear();
}

}  // namespace
}  // namespace pdfkit

PTK_API void PTK_GetPageContentTextStream(PTK_HDOC hDoc, int32_t nPage, PTK_TextRun** ppFirst) {
  if (!ppFirst) return;
  *ppFirst = nullptr;
  if (!pdfkit::ValidPage(hDoc, nPage)) return;
  try {
    pdfkit::TextState st;
    st.hDoc = hDoc;
    st.ctx = hDoc->ctx;
    pdfkit::TextState* outer = pdfkit::tlsState;
    pdfkit::tlsState = &st;
    bool ok = pdfkit::InterpretPage(&st, nPage);
    pdfkit::tlsState = outer;
    if (ok) *ppFirst = pdfkit::BuildStream(&st);
    pdfkit::KeepFonts(&st);
    pdfkit::DropFonts(&st);
  } catch (...) {
    *ppFirst = nullptr;
  }
}

PTK_API void PTK_FreePageContentTextStream(PTK_TextRun* pFirst) {
  if (!pFirst) return;
  pdfkit::TextStream* stream = nullptr;
  {
    std::lock_guard<std::mutex> lock(pdfkit::gStreamsMutex);
    auto& streams = pdfkit::Streams();
    auto it = streams.find(pFirst);
    if (it == streams.end()) return;
    stream = it->second;
    streams.erase(it);
  }
  delete stream;
}
