#include "pdfwriter.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "vjson/json.h"

namespace vtest {
namespace {

// ---- MD5 (RFC 1321) and RC4: what the standard security handler needs. ----

class Md5 {
 public:
  void Update(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
      buffer_[bufferUsed_++] = p[i];
      if (bufferUsed_ == 64) {
        Block(buffer_);
        bufferUsed_ = 0;
      }
    }
    length_ += size;
  }
  void Update(std::string_view s) { Update(s.data(), s.size()); }
  std::array<uint8_t, 16> Final() {
    uint64_t bits = length_ * 8;
    const uint8_t one = 0x80, zero = 0;
    Update(&one, 1);
    while (bufferUsed_ != 56) Update(&zero, 1);
    uint8_t len[8];
    for (int i = 0; i < 8; ++i) len[i] = static_cast<uint8_t>(bits >> (8 * i));
    Update(len, 8);
    std::array<uint8_t, 16> out{};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) out[i * 4 + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
    return out;
  }

 private:
  static uint32_t Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }
  void Block(const uint8_t* b) {
    static const uint32_t kK[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
        0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
        0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
        0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
        0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
        0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
        0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
        0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
        0xeb86d391};
    static const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                   5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                   4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                   6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
      m[i] = b[i * 4] | (b[i * 4 + 1] << 8) | (b[i * 4 + 2] << 16) |
             (static_cast<uint32_t>(b[i * 4 + 3]) << 24);
    uint32_t a = state_[0], bb = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) {
        f = (bb & c) | (~bb & d);
        g = i;
      } else if (i < 32) {
        f = (d & bb) | (~d & c);
        g = (5 * i + 1) % 16;
      } else if (i < 48) {
        f = bb ^ c ^ d;
        g = (3 * i + 5) % 16;
      } else {
        f = c ^ (bb | ~d);
        g = (7 * i) % 16;
      }
      uint32_t tmp = d;
      d = c;
      c = bb;
      bb = bb + Rotl(a + f + kK[i] + m[g], kShift[i]);
      a = tmp;
    }
    state_[0] += a;
    state_[1] += bb;
    state_[2] += c;
    state_[3] += d;
  }

  uint32_t state_[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  uint8_t buffer_[64] = {};
  size_t bufferUsed_ = 0;
  uint64_t length_ = 0;
};

std::string Rc4(std::string_view key, std::string_view data) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + static_cast<uint8_t>(key[i % key.size()])) & 255;
    std::swap(s[i], s[j]);
  }
  std::string out(data);
  for (size_t n = 0, i = 0, j = 0; n < out.size(); ++n) {
    i = (i + 1) & 255;
    j = (j + s[i]) & 255;
    std::swap(s[i], s[j]);
    out[n] = static_cast<char>(static_cast<uint8_t>(out[n]) ^ s[(s[i] + s[j]) & 255]);
  }
  return out;
}

const uint8_t kPasswordPad[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                  0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                  0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

std::string PadPassword(std::string_view password) {
  std::string out(password.substr(0, 32));
  out.append(reinterpret_cast<const char*>(kPasswordPad), 32 - out.size());
  return out;
}

const int32_t kPermissions = -4;  // everything allowed

// ---- Formatting. ----

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out = "<";
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out + ">";
}

std::string Name(std::string_view name) {
  std::string out = "/";
  for (unsigned char c : name) {
    if (c <= ' ' || c >= 0x7F || std::strchr("()<>[]{}/%#", c)) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "#%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Rect(const std::array<double, 4>& r) {
  return "[" + PdfNum(r[0]) + " " + PdfNum(r[1]) + " " + PdfNum(r[2]) + " " + PdfNum(r[3]) + "]";
}

std::string Ref(int num) {
  return std::to_string(num) + " 0 R";
}

std::string Deflate(std::string_view data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                9) != Z_OK)
    return {};
  out.resize(size);
  return out;
}

constexpr int kMaxImageSide = 1 << 15;
constexpr int kFirstType3Code = 0x21;

bool ValidImage(const ImageSpec& im) {
  if (ImageDataSize(im.kind, im.width, im.height) == 0) return false;
  if (im.pixels.size() != ImageDataSize(im.kind, im.width, im.height)) return false;
  if (im.kind == ImageSpec::Indexed8 &&
      (im.palette.empty() || im.palette.size() % 3 != 0 || im.palette.size() > 768))
    return false;
  if (!im.smask.empty()) {
    if (im.kind == ImageSpec::StencilMask1) return false;
    if (ImageDataSize(ImageSpec::Gray8, im.smaskWidth, im.smaskHeight) != im.smask.size())
      return false;
  }
  return true;
}

std::string_view Bytes(const std::vector<uint8_t>& v) {
  return {reinterpret_cast<const char*>(v.data()), v.size()};
}

// The shape of Type3 glyph k: a bar across the top over a 4 x 4 pattern of squares whose
// bits are a bijection of k, so that every glyph differs. Adjacent squares of a row merge
// into one bar.
std::string Type3GlyphProc(int k) {
  std::string s = "1000 0 0 0 1000 1000 d1\n100 820 800 60 re f\n";
  const uint32_t pattern = (static_cast<uint32_t>(k + 1) * 40503u) & 0xFFFFu;
  for (int row = 0; row < 4; ++row) {
    const int y = 600 - row * 180;
    for (int col = 0; col < 4;) {
      if (!(pattern >> (row * 4 + col) & 1)) {
        ++col;
        continue;
      }
      int end = col;
      while (end + 1 < 4 && (pattern >> (row * 4 + end + 1) & 1)) ++end;
      const int x0 = 100 + col * 200, x1 = 100 + end * 200 + 160;
      s += std::to_string(x0) + " " + std::to_string(y) + " " + std::to_string(x1 - x0) +
           " 140 re f\n";
      col = end + 1;
    }
  }
  return s;
}

}  // namespace

// ---- Public helpers. ----

std::string PdfNum(double value) {
  return std::isfinite(value) ? vjson::JsonNumber(value, 4) : "0";
}

std::string RawPdf(const std::vector<std::string>& objects) {
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const size_t off : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    out += line;
  }
  return out + "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

std::string PdfStream(const std::string& data) {
  return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::string PdfLiteral(std::string_view bytes) {
  std::string out = "(";
  for (char c : bytes) {
    switch (c) {
      case '\\':
      case '(':
      case ')':
        out += '\\';
        out += c;
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out + ")";
}

std::string PdfHexUtf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t u : text) {
    bytes += static_cast<char>(u >> 8);
    bytes += static_cast<char>(u & 0xFF);
  }
  return Hex(bytes);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    int extra = -1;
    uint32_t cp = 0;
    if (c < 0x80) {
      extra = 0;
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    }
    bool ok = extra >= 0 && i + extra < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok && (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

size_t ImageDataSize(ImageSpec::Kind kind, int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return 0;
  const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
  switch (kind) {
    case ImageSpec::Gray8:
    case ImageSpec::Indexed8:
      return w * h;
    case ImageSpec::Rgb24:
      return 3 * w * h;
    case ImageSpec::Bilevel1:
    case ImageSpec::StencilMask1:
      return (w + 7) / 8 * h;
  }
  return 0;
}

std::string InlineImage(const ImageSpec& im) {
  if (!ValidImage(im)) return {};
  std::string s = "BI /W " + std::to_string(im.width) + " /H " + std::to_string(im.height);
  switch (im.kind) {
    case ImageSpec::Gray8:
      s += " /CS /G /BPC 8";
      break;
    case ImageSpec::Rgb24:
      s += " /CS /RGB /BPC 8";
      break;
    case ImageSpec::Indexed8:
      s += " /CS [/I /RGB " + std::to_string(im.palette.size() / 3 - 1) + " " +
           Hex(Bytes(im.palette)) + "] /BPC 8";
      break;
    case ImageSpec::Bilevel1:
      s += " /CS /G /BPC 1";
      break;
    case ImageSpec::StencilMask1:
      s += " /IM true /BPC 1";
      break;
  }
  s += " ID ";
  s += Bytes(im.pixels);
  s += "\nEI";
  return s;
}

// ---- The writer. ----

// Writes numbered objects into one buffer, encrypting strings and streams when a key is set.
class PdfWriter::Emitter {
 public:
  explicit Emitter(std::string fileKey) : fileKey_(std::move(fileKey)) {}

  std::string& Out() { return out_; }

  // A string value inside object num.
  std::string Str(int num, std::string_view bytes, bool hex = false) const {
    if (fileKey_.empty()) return hex ? Hex(bytes) : PdfLiteral(bytes);
    return Hex(Rc4(ObjectKey(num), bytes));
  }
  void Object(int num, const std::string& body) {
    Begin(num);
    out_ += body;
    out_ += "\nendobj\n";
  }
  // A stream object; dict holds the entries without /Length and /Filter.
  void Stream(int num, const std::string& dict, std::string_view data, bool flate) {
    std::string payload = flate ? Deflate(data) : std::string(data);
    if (!fileKey_.empty()) payload = Rc4(ObjectKey(num), payload);
    Begin(num);
    out_ += "<<" + dict;
    if (flate) out_ += " /Filter /FlateDecode";
    out_ += " /Length " + std::to_string(payload.size()) + " >>\nstream\n";
    out_ += payload;
    out_ += "\nendstream\nendobj\n";
  }
  // Cross-reference table and trailer for objects 1 .. size-1 (all must have been written).
  void Finish(int size, int root, int encrypt, const std::string& fileId) {
    const size_t xref = out_.size();
    out_ += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
    for (int i = 1; i < size; ++i) {
      char line[24];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets_[i]);
      out_ += line;
    }
    out_ += "trailer\n<< /Size " + std::to_string(size) + " /Root " + Ref(root);
    if (encrypt) out_ += " /Encrypt " + Ref(encrypt);
    out_ += " /ID [" + Hex(fileId) + " " + Hex(fileId) + "] >>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";
  }

 private:
  void Begin(int num) {
    if (offsets_.size() <= static_cast<size_t>(num)) offsets_.resize(num + 1);
    offsets_[num] = out_.size();
    out_ += std::to_string(num) + " 0 obj\n";
  }
  std::string ObjectKey(int num) const {
    Md5 md5;
    md5.Update(fileKey_);
    const uint8_t extra[5] = {static_cast<uint8_t>(num), static_cast<uint8_t>(num >> 8),
                              static_cast<uint8_t>(num >> 16), 0, 0};
    md5.Update(extra, 5);
    auto digest = md5.Final();
    return std::string(reinterpret_cast<const char*>(digest.data()), fileKey_.size() + 5);
  }

  std::string fileKey_;
  std::string out_;
  std::vector<size_t> offsets_;
};

std::string PdfWriter::AddResource(Resource resource, const char* prefix, int& counter) {
  resource.name = prefix + std::to_string(++counter);
  resources_.push_back(std::move(resource));
  return resources_.back().name;
}

std::string PdfWriter::AddStandardFont(const std::string& baseFont) {
  if (baseFont.empty()) return {};
  Resource r;
  r.kind = Resource::kStandardFont;
  r.baseFont = baseFont;
  return AddResource(std::move(r), "F", fontCount_);
}

std::string PdfWriter::AddCjkFont(const std::string& baseFont) {
  if (baseFont.empty()) return {};
  Resource r;
  r.kind = Resource::kCjkFont;
  r.baseFont = baseFont;
  return AddResource(std::move(r), "F", fontCount_);
}

std::string PdfWriter::AddType3Font(const std::string& baseFont, int glyphCount) {
  return AddType3Font(baseFont, glyphCount, kFirstType3Code);
}

std::string PdfWriter::AddType3Font(const std::string& baseFont, int glyphCount, int firstCode) {
  if (baseFont.empty() || firstCode < 1 || glyphCount < 1 || glyphCount > 0xFF - firstCode)
    return {};
  Resource r;
  r.kind = Resource::kType3Font;
  r.baseFont = baseFont;
  r.glyphCount = glyphCount;
  r.firstCode = firstCode;
  return AddResource(std::move(r), "F", fontCount_);
}

std::string PdfWriter::AddImage(const ImageSpec& image) {
  if (!ValidImage(image)) return {};
  Resource r;
  r.kind = Resource::kImage;
  r.image = image;
  return AddResource(std::move(r), "Im", imageCount_);
}

std::string PdfWriter::AddForm(const std::string& content, std::array<double, 4> bbox) {
  for (double v : bbox)
    if (!std::isfinite(v)) return {};
  Resource r;
  r.kind = Resource::kForm;
  r.content = content;
  r.bbox = bbox;
  return AddResource(std::move(r), "Fm", formCount_);
}

int PdfWriter::AddPage(double width, double height, const std::string& content,
                       const PageOptions& options) {
  if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0) return 0;
  pages_.push_back(Page{width, height, content, options});
  return static_cast<int>(pages_.size());
}

std::string PdfWriter::Build() const {
  // The file identifier is the digest of the unencrypted file, so it changes with the
  // content and never with the time of writing.
  std::string plain = BuildWith(false, std::string(16, '\0'));
  Md5 md5;
  md5.Update(plain);
  auto digest = md5.Final();
  std::string fileId(reinterpret_cast<const char*>(digest.data()), digest.size());
  return BuildWith(encrypted_, fileId);
}

std::string PdfWriter::BuildWith(bool encrypt, const std::string& fileId) const {
  // Standard security handler, revision 2.
  std::string ownerEntry, userEntry, fileKey;
  if (encrypt) {
    Md5 ownerMd5;
    ownerMd5.Update(PadPassword(kEncryptedOwnerPassword));
    auto ownerDigest = ownerMd5.Final();
    ownerEntry = Rc4(std::string(reinterpret_cast<const char*>(ownerDigest.data()), 5),
                     PadPassword(kEncryptedUserPassword));
    Md5 keyMd5;
    keyMd5.Update(PadPassword(kEncryptedUserPassword));
    keyMd5.Update(ownerEntry);
    const uint8_t p[4] = {
        static_cast<uint8_t>(kPermissions), static_cast<uint8_t>(kPermissions >> 8),
        static_cast<uint8_t>(kPermissions >> 16), static_cast<uint8_t>(kPermissions >> 24)};
    keyMd5.Update(p, 4);
    keyMd5.Update(fileId);
    auto keyDigest = keyMd5.Final();
    fileKey.assign(reinterpret_cast<const char*>(keyDigest.data()), 5);
    userEntry = Rc4(fileKey, std::string(reinterpret_cast<const char*>(kPasswordPad), 32));
  }

  // Object numbers.
  const int catalog = 1, pageTree = 2, sharedResources = 3;
  int next = 4;
  std::vector<int> resourceObj;
  for (const Resource& r : resources_) {
    resourceObj.push_back(next);
    switch (r.kind) {
      case Resource::kStandardFont:
      case Resource::kForm:
        next += 1;
        break;
      case Resource::kCjkFont:
        next += 3;  // Type0, CIDFont, descriptor
        break;
      case Resource::kType3Font:
        next += 1 + r.glyphCount;  // font, one procedure per glyph
        break;
      case Resource::kImage:
        next += r.image.smask.empty() ? 1 : 2;
        break;
    }
  }
  int annotFont = 0;
  for (const Page& p : pages_)
    if (!p.options.annotationTexts.empty()) annotFont = next++;
  std::vector<int> pageObj;
  for (const Page& p : pages_) {
    pageObj.push_back(next);
    next += 2 + 2 * static_cast<int>(p.options.annotationTexts.size());
  }
  const int encryptObj = encrypt ? next++ : 0;

  Emitter e(fileKey);
  e.Out() = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";

  e.Object(catalog, "<< /Type /Catalog /Pages " + Ref(pageTree) + " >>");
  std::string kids;
  for (int num : pageObj) kids += (kids.empty() ? "" : " ") + Ref(num);
  e.Object(pageTree,
           "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages_.size()) + " >>");

  std::string fonts, xobjects;
  for (size_t i = 0; i < resources_.size(); ++i) {
    std::string& dict =
        resources_[i].kind == Resource::kImage || resources_[i].kind == Resource::kForm ? xobjects
                                                                                        : fonts;
    dict += " " + Name(resources_[i].name) + " " + Ref(resourceObj[i]);
  }
  std::string res = "<<";
  if (!fonts.empty()) res += " /Font <<" + fonts + " >>";
  if (!xobjects.empty()) res += " /XObject <<" + xobjects + " >>";
  res += " /ProcSet [/PDF /Text /ImageB /ImageC /ImageI] >>";
  e.Object(sharedResources, res);

  for (size_t i = 0; i < resources_.size(); ++i) {
    const Resource& r = resources_[i];
    const int num = resourceObj[i];
    switch (r.kind) {
      case Resource::kStandardFont:
        e.Object(num, "<< /Type /Font /Subtype /Type1 /BaseFont " + Name(r.baseFont) +
                          " /Encoding /WinAnsiEncoding >>");
        break;
      case Resource::kCjkFont:
        e.Object(num, "<< /Type /Font /Subtype /Type0 /BaseFont " + Name(r.baseFont) +
                          " /Encoding /UniGB-UCS2-H /DescendantFonts [" + Ref(num + 1) + "] >>");
        e.Object(num + 1, "<< /Type /Font /Subtype /CIDFontType0 /BaseFont " + Name(r.baseFont) +
                              " /CIDSystemInfo << /Registry " + e.Str(num + 1, "Adobe") +
                              " /Ordering " + e.Str(num + 1, "GB1") +
                              " /Supplement 2 >> /FontDescriptor " + Ref(num + 2) +
                              " /DW 1000 /W [1 95 500 814 939 500] >>");
        e.Object(num + 2, "<< /Type /FontDescriptor /FontName " + Name(r.baseFont) +
                              " /Flags 6 /FontBBox [-25 -254 1000 880] /ItalicAngle 0"
                              " /Ascent 880 /Descent -120 /CapHeight 880 /StemV 93 >>");
        break;
      case Resource::kType3Font: {
        std::string diffs, procs, widths;
        for (int k = 0; k < r.glyphCount; ++k) {
          // "hg" plus the code in hex: not a glyph-list name and not a uniXXXX/uXXXX form.
          char glyphName[16];
          std::snprintf(glyphName, sizeof glyphName, "hg%02x", r.firstCode + k);
          diffs += " /" + std::string(glyphName);
          procs += " /" + std::string(glyphName) + " " + Ref(num + 1 + k);
          widths += k ? " 1000" : "1000";
        }
        e.Object(num, "<< /Type /Font /Subtype /Type3 /Name " + Name(r.baseFont) + " /BaseFont " +
                          Name(r.baseFont) +
                          " /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0]"
                          " /CharProcs <<" +
                          procs + " >> /Encoding << /Type /Encoding /Differences [" +
                          std::to_string(r.firstCode) + diffs + "] >> /FirstChar " +
                          std::to_string(r.firstCode) + " /LastChar " +
                          std::to_string(r.firstCode + r.glyphCount - 1) + " /Widths [" + widths +
                          "] /Resources << >> >>");
        for (int k = 0; k < r.glyphCount; ++k) e.Stream(num + 1 + k, "", Type3GlyphProc(k), false);
        break;
      }
      case Resource::kImage: {
        const ImageSpec& im = r.image;
        std::string dict = " /Type /XObject /Subtype /Image /Width " + std::to_string(im.width) +
                           " /Height " + std::to_string(im.height);
        switch (im.kind) {
          case ImageSpec::Gray8:
            dict += " /ColorSpace /DeviceGray /BitsPerComponent 8";
            break;
          case ImageSpec::Rgb24:
            dict += " /ColorSpace /DeviceRGB /BitsPerComponent 8";
            break;
          case ImageSpec::Indexed8:
            dict += " /ColorSpace [/Indexed /DeviceRGB " +
                    std::to_string(im.palette.size() / 3 - 1) + " " +
                    e.Str(num, Bytes(im.palette), true) + "] /BitsPerComponent 8";
            break;
          case ImageSpec::Bilevel1:
            dict += " /ColorSpace /DeviceGray /BitsPerComponent 1";
            break;
          case ImageSpec::StencilMask1:
            dict += " /ImageMask true /BitsPerComponent 1";
            break;
        }
        if (!im.smask.empty()) dict += " /SMask " + Ref(num + 1);
        e.Stream(num, dict, Bytes(im.pixels), im.flate);
        if (!im.smask.empty())
          e.Stream(num + 1,
                   " /Type /XObject /Subtype /Image /Width " + std::to_string(im.smaskWidth) +
                       " /Height " + std::to_string(im.smaskHeight) +
                       " /ColorSpace /DeviceGray /BitsPerComponent 8",
                   Bytes(im.smask), im.flate);
        break;
      }
      case Resource::kForm:
        e.Stream(num,
                 " /Type /XObject /Subtype /Form /BBox " + Rect(r.bbox) + " /Resources " +
                     Ref(sharedResources),
                 r.content, false);
        break;
    }
  }

  if (annotFont)
    e.Object(annotFont,
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");

  for (size_t i = 0; i < pages_.size(); ++i) {
    const Page& p = pages_[i];
    const int num = pageObj[i];
    const auto& texts = p.options.annotationTexts;
    std::string dict =
        "<< /Type /Page /Parent " + Ref(pageTree) + " /MediaBox " + Rect({0, 0, p.width, p.height});
    if (p.options.cropBox) dict += " /CropBox " + Rect(*p.options.cropBox);
    if (p.options.rotate) dict += " /Rotate " + std::to_string(p.options.rotate);
    dict += " /Resources " + Ref(sharedResources) + " /Contents " + Ref(num + 1);
    if (!texts.empty()) {
      dict += " /Annots [";
      for (size_t a = 0; a < texts.size(); ++a)
        dict += (a ? " " : "") + Ref(num + 2 + 2 * static_cast<int>(a));
      dict += "]";
    }
    e.Object(num, dict + " >>");
    e.Stream(num + 1, "", p.content, p.options.compress);
    for (size_t a = 0; a < texts.size(); ++a) {
      const int annot = num + 2 + 2 * static_cast<int>(a);
      std::array<double, 4> rect{36, p.height - 56 - 24.0 * a, 336, p.height - 36 - 24.0 * a};
      if (a < p.options.annotationRects.size()) rect = p.options.annotationRects[a];
      const double w = std::fabs(rect[2] - rect[0]), h = std::fabs(rect[3] - rect[1]);
      e.Object(annot, "<< /Type /Annot /Subtype /FreeText /P " + Ref(num) + " /Rect " + Rect(rect) +
                          " /Contents " + e.Str(annot, texts[a]) + " /DA " +
                          e.Str(annot, "/Helv 10 Tf 0 g") + " /F 4 /AP << /N " + Ref(annot + 1) +
                          " >> >>");
      e.Stream(annot + 1,
               " /Type /XObject /Subtype /Form /BBox " + Rect({0, 0, w, h}) +
                   " /Resources << /Font << /Helv " + Ref(annotFont) + " >> >>",
               "BT /Helv 10 Tf 0 g 2 " + PdfNum(std::max(2.0, h / 2 - 3.5)) + " Td " +
                   PdfLiteral(texts[a]) + " Tj ET",
               false);
    }
  }

  if (encrypt)
    e.Object(encryptObj, "<< /Filter /Standard /V 1 /R 2 /O " + Hex(ownerEntry) + " /U " +
                             Hex(userEntry) + " /P " + std::to_string(kPermissions) + " >>");

  e.Finish(next, catalog, encryptObj, fileId);
  return std::move(e.Out());
}

bool PdfWriter::Save(const std::string& path) const {
  const std::string bytes = Build();
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  return !f.fail();
}

}  // namespace vtest
