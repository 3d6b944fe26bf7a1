// A small writer of exact, deterministic PDF files for tests and bundled samples.
//
// Content streams are written by hand; the writer takes care of objects, resources, fonts,
// images, annotations, optional encryption, the cross-reference table and the trailer. The
// same calls always give the same bytes: no timestamps, objects numbered in a fixed order
// (catalog, page tree, shared resources, resources in the order they were added, pages in
// order, encryption dictionary last) and a file identifier derived from the content.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtest {

// Passwords of the files written with SetEncrypted(true).
inline constexpr std::string_view kEncryptedUserPassword = "velluma-user";
inline constexpr std::string_view kEncryptedOwnerPassword = "velluma-owner";

struct ImageSpec {
  enum Kind { Gray8, Rgb24, Indexed8, Bilevel1, StencilMask1 } kind = Rgb24;
  int width = 0, height = 0;
  // Rows top-down, tightly packed: Gray8 1 byte, Rgb24 3 bytes, Indexed8 1 byte index,
  // Bilevel1 / StencilMask1 1 bit MSB first (Bilevel1: 1 is white; StencilMask1: 0 paints),
  // each row padded to a whole byte.
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> palette;  // Indexed8: RGB triples, 1 to 256 entries
  // Optional soft mask, 8-bit grey, smaskWidth x smaskHeight (image XObjects only; not
  // allowed with StencilMask1).
  std::vector<uint8_t> smask;
  int smaskWidth = 0, smaskHeight = 0;
  bool flate = true;  // FlateDecode the data (zlib)
};

struct PageOptions {
  int rotate = 0;                                // /Rotate (a multiple of 90)
  std::optional<std::array<double, 4>> cropBox;  // /CropBox [x0 y0 x1 y1]
  // FreeText annotations whose appearance streams draw these texts (WinAnsi bytes) in
  // Helvetica 10 pt. They are not page content.
  std::vector<std::string> annotationTexts;
  // Rectangles [x0 y0 x1 y1] of the annotations, by index; an annotation without one is
  // placed 36 pt from the left and the top edge of the media box, 300 x 20 pt, each
  // further one 24 pt lower.
  std::vector<std::array<double, 4>> annotationRects;
  bool compress = false;  // FlateDecode the content stream
};

class PdfWriter {
 public:
  // Each Add* returns the resource name to use in content streams ("F1", "Im1", "Fm1" ...);
  // all resources are shared by all pages (and by the forms). An empty name means the
  // arguments were rejected and nothing was added.

  // Type1 font with /WinAnsiEncoding, not embedded.
  std::string AddStandardFont(const std::string& baseFont = "Helvetica");
  // Type0 font over a CIDFontType0 descendant (Adobe-GB1), /Encoding /UniGB-UCS2-H, not
  // embedded, no ToUnicode. Both /BaseFont entries are baseFont. ASCII codes are half
  // width, everything else one em. Show text with PdfHexUtf16.
  std::string AddCjkFont(const std::string& baseFont = "STSong-Light");
  // Custom-encoded Type3 font: codes 0x21 .. 0x21 + glyphCount - 1 each draw a distinct
  // shape (a bar over a pattern of squares, 1000-unit em, one em wide), named by
  // /Differences with names that carry no Unicode; no ToUnicode. /BaseFont and /Name are
  // baseFont. glyphCount must be 1 .. 222 (codes up to 0xFE), else "" is returned.
  // Readers that fall back to the code itself for unnamed glyphs (MuPDF does so for codes
  // 0x20 .. 0x7E) report such codes as ASCII; codes from 0x7F on come out as U+FFFD.
  std::string AddType3Font(const std::string& baseFont, int glyphCount);
  // The same with codes firstCode .. firstCode + glyphCount - 1 (firstCode 1 .. 0xFE, the
  // last code at most 0xFE).
  std::string AddType3Font(const std::string& baseFont, int glyphCount, int firstCode);
  // Image XObject. Returns "" when the pixel, palette or mask sizes do not match the
  // declared dimensions.
  std::string AddImage(const ImageSpec& image);
  // Form XObject with the given content and /BBox; its resources are the shared ones.
  std::string AddForm(const std::string& content, std::array<double, 4> bbox);

  // Adds a page of width x height points (media box [0 0 width height]) and returns its
  // number (1-based); returns 0 when the size is not positive or finite.
  int AddPage(double width, double height, const std::string& content,
              const PageOptions& options = {});

  // Encrypts the file with the standard security handler (RC4, 40-bit key, revision 2);
  // the user password kEncryptedUserPassword is needed to open it.
  void SetEncrypted(bool encrypted) { encrypted_ = encrypted; }

  int PageCount() const { return static_cast<int>(pages_.size()); }

  std::string Build() const;  // the whole file
  // Writes Build() to path; false when the file cannot be written.
  bool Save(const std::string& path) const;

 private:
  struct Resource {
    enum Kind { kStandardFont, kCjkFont, kType3Font, kImage, kForm } kind = kStandardFont;
    std::string name;      // resource name
    std::string baseFont;  // fonts
    int glyphCount = 0;    // Type3
    int firstCode = 0;     // Type3
    ImageSpec image;       // images
    std::string content;   // forms
    std::array<double, 4> bbox{};
  };
  struct Page {
    double width, height;
    std::string content;
    PageOptions options;
  };
  class Emitter;

  std::string BuildWith(bool encrypt, const std::string& fileId) const;
  std::string AddResource(Resource resource, const char* prefix, int& counter);

  std::vector<Resource> resources_;
  std::vector<Page> pages_;
  int fontCount_ = 0, imageCount_ = 0, formCount_ = 0;
  bool encrypted_ = false;
};

// Content-stream helpers.

// A literal string "(...)" of the given bytes, with \, ( and ) escaped and CR, LF written
// as \r, \n.
std::string PdfLiteral(std::string_view bytes);
// A hex string of UTF-16 code units, "<4E2D6587>", for fonts with /UniGB-UCS2-H.
std::string PdfHexUtf16(std::u16string_view text);
// An uncompressed inline image "BI ... ID ... EI" (soft mask and flate are ignored); draw it
// inside "q w 0 0 h x y cm ... Q". Returns "" when the sizes do not match.
std::string InlineImage(const ImageSpec& image);
// A number as a content stream writes it: at most 4 decimals, no trailing zeros.
std::string PdfNum(double value);
// A whole PDF file made of numbered object bodies (object i + 1 is objects[i]; object 1 is the
// catalog), with a correct cross-reference table: for hand-built documents the writer does not
// make (Type 3 fonts, ToUnicode maps).
std::string RawPdf(const std::vector<std::string>& objects);
// A stream object body holding data.
std::string PdfStream(const std::string& data);
// UTF-8 to UTF-16 (invalid sequences become U+FFFD).
std::u16string Utf8ToUtf16(std::string_view text);
// Expected size in bytes of the pixel data of an image of the given kind and size.
size_t ImageDataSize(ImageSpec::Kind kind, int width, int height);

}  // namespace vtest
