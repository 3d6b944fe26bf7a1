// The writer's files, read back with MuPDF: they open without repair or warnings, and texts,
// images, annotations and encryption come out as written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "mupdf_probe.h"
#include "pdfwriter.h"

namespace vtest {
namespace {

std::unique_ptr<MuProbe> OpenClean(const std::string& bytes) {
  auto probe = MuProbe::Open(bytes);
  EXPECT_TRUE(probe);
  if (!probe) return probe;
  EXPECT_FALSE(probe->WasRepaired());
  return probe;
}

std::u32string Unicodes(const std::vector<ProbeChar>& chars) {
  std::u32string s;
  for (const auto& c : chars) s += c.unicode;
  return s;
}

TEST(PdfWriter, TextOfStandardAndCjkFontsComesOutAsWritten) {
  PdfWriter w;
  const std::string helv = w.AddStandardFont();
  const std::string song = w.AddCjkFont();
  ASSERT_EQ(helv, "F1");
  ASSERT_EQ(song, "F2");
  std::string content = "BT /" + helv + " 12 Tf 72 700 Td " + PdfLiteral("Page (1) \\ end") +
                        " Tj ET\nBT /" + song + " 20 Tf 72 650 Td " +
                        PdfHexUtf16(u"滨江日报\u3000第12345期") + " Tj ET\n";
  ASSERT_EQ(w.AddPage(612, 792, content), 1);
  PageOptions compressed;
  compressed.compress = true;
  ASSERT_EQ(w.AddPage(400, 300, content, compressed), 2);

  auto probe = OpenClean(w.Build());
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->PageCount(), 2);
  for (int page = 0; page < 2; ++page) {
    std::vector<ProbeChar> chars;
    ASSERT_TRUE(probe->Chars(page, false, chars));
    EXPECT_EQ(Unicodes(chars), U"Page (1) \\ end滨江日报\u3000第12345期");
    ASSERT_FALSE(chars.empty());
    EXPECT_EQ(chars.front().font, "Helvetica");
    EXPECT_EQ(chars.back().font, "STSong-Light");
    EXPECT_DOUBLE_EQ(chars.back().size, 20);
  }
  // ASCII in the CJK font is half width: "第" then "1" 20 pt later, "2" 10 pt after that.
  std::vector<ProbeChar> chars;
  ASSERT_TRUE(probe->Chars(0, false, chars));
  const size_t one = chars.size() - 6;
  ASSERT_EQ(chars[one].unicode, U'1');
  EXPECT_NEAR(chars[one].x - chars[one - 1].x, 20, 0.01);
  EXPECT_NEAR(chars[one + 1].x - chars[one].x, 10, 0.01);
  EXPECT_TRUE(probe->Warnings().empty()) << probe->Warnings().front();
}

TEST(PdfWriter, Type3GlyphsHaveNoUnicodeAndDistinctShapes) {
  PdfWriter w;
  const std::string low = w.AddType3Font("HGFKAB-HeiTi_B3", 6);
  const std::string high = w.AddType3Font("QWERTY-Song_B4", 4, 0xA1);
  ASSERT_FALSE(low.empty());
  ASSERT_FALSE(high.empty());
  const std::string content = "BT /" + low + " 100 Tf 0 300 Td (!\"#$%&) Tj ET\nBT /" + high +
                              " 100 Tf 0 100 Td <A1A2A3A4> Tj ET\n";
  w.AddPage(600, 400, content);
  auto probe = OpenClean(w.Build());
  ASSERT_TRUE(probe);

  std::vector<ProbeChar> chars;
  ASSERT_TRUE(probe->Chars(0, false, chars));
  ASSERT_EQ(chars.size(), 10u);
  // Unnamed codes below 0x7F are reported as the code itself, the others as U+FFFD.
  EXPECT_EQ(Unicodes(chars).substr(0, 6), U"!\"#$%&");
  EXPECT_EQ(Unicodes(chars).substr(6), U"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(chars[0].font, "HGFKAB-HeiTi_B3");
  EXPECT_EQ(chars[6].font, "QWERTY-Song_B4");
  EXPECT_NEAR(chars[1].x - chars[0].x, 100, 0.01);  // one em wide

  // Every glyph draws ink, and no two glyphs of a font look alike.
  ProbePixmap pix;
  ASSERT_TRUE(probe->Render(0, 72, pix));
  auto cell = [&](int glyph, int baselineY) {
    std::vector<unsigned char> v;
    for (int y = baselineY - 100; y < baselineY; ++y)
      for (int x = glyph * 100; x < glyph * 100 + 100; ++x) v.push_back(pix.At(x, y) < 128);
    return v;
  };
  for (int base : {100, 300}) {
    std::vector<std::vector<unsigned char>> cells;
    for (int g = 0; g < (base == 100 ? 6 : 4); ++g) {
      cells.push_back(cell(g, base));
      EXPECT_NE(std::count(cells.back().begin(), cells.back().end(), 1), 0) << g;
      for (int h = 0; h < g; ++h) EXPECT_NE(cells[h], cells.back()) << h << " " << g;
    }
  }
  EXPECT_TRUE(probe->Warnings().empty()) << probe->Warnings().front();
}

ImageSpec MakeImage(ImageSpec::Kind kind, int w, int h) {
  ImageSpec im;
  im.kind = kind;
  im.width = w;
  im.height = h;
  im.pixels.resize(ImageDataSize(kind, w, h));
  for (size_t i = 0; i < im.pixels.size(); ++i) im.pixels[i] = static_cast<uint8_t>(i * 37 + 11);
  if (kind == ImageSpec::Indexed8) {
    for (int i = 0; i < 4; ++i) im.palette.insert(im.palette.end(), {uint8_t(60 * i), 200, 7});
    for (auto& p : im.pixels) p %= 4;
  }
  return im;
}

// The samples MuPDF should decode for an image: colour components expanded, bits to bytes.
std::vector<unsigned char> Expected(const ImageSpec& im) {
  std::vector<unsigned char> out;
  const size_t rowBytes = (static_cast<size_t>(im.width) + 7) / 8;
  for (int y = 0; y < im.height; ++y)
    for (int x = 0; x < im.width; ++x) {
      const size_t i = static_cast<size_t>(y) * im.width + x;
      switch (im.kind) {
        case ImageSpec::Gray8:
          out.push_back(im.pixels[i]);
          break;
        case ImageSpec::Rgb24:
          out.insert(out.end(), &im.pixels[3 * i], &im.pixels[3 * i] + 3);
          break;
        case ImageSpec::Indexed8:
          out.insert(out.end(), &im.palette[3 * im.pixels[i]], &im.palette[3 * im.pixels[i]] + 3);
          break;
        case ImageSpec::Bilevel1:
        case ImageSpec::StencilMask1: {
          const bool bit = im.pixels[y * rowBytes + x / 8] >> (7 - x % 8) & 1;
          // A stencil mask decodes to coverage: 0 bits paint.
          out.push_back(im.kind == ImageSpec::Bilevel1 ? (bit ? 255 : 0) : (bit ? 0 : 255));
          break;
        }
      }
    }
  return out;
}

TEST(PdfWriter, EveryImageKindDecodesToTheGivenPixels) {
  PdfWriter w;
  std::vector<ImageSpec> inputs;
  for (auto kind : {ImageSpec::Gray8, ImageSpec::Rgb24, ImageSpec::Indexed8, ImageSpec::Bilevel1,
                    ImageSpec::StencilMask1})
    inputs.push_back(MakeImage(kind, 13, 5));  // odd width: bit rows are padded
  inputs[1].flate = false;
  inputs[2].smask.assign(7 * 3, 0);
  for (size_t i = 0; i < inputs[2].smask.size(); ++i) inputs[2].smask[i] = uint8_t(i * 12);
  inputs[2].smaskWidth = 7;
  inputs[2].smaskHeight = 3;

  std::string content;
  int y = 10;
  for (const auto& input : inputs) {
    const std::string name = w.AddImage(input);
    ASSERT_FALSE(name.empty());
    content += "q 26 0 0 10 10 " + std::to_string(y) + " cm /" + name + " Do Q\n";
    y += 20;
  }
  for (const auto& input : inputs) {
    if (!input.smask.empty()) continue;
    content += "q 26 0 0 10 50 " + std::to_string(y) + " cm " + InlineImage(input) + " Q\n";
    y += 20;
  }
  w.AddPage(200, 300, content);
  auto probe = OpenClean(w.Build());
  ASSERT_TRUE(probe);

  std::vector<ProbeImage> images;
  ASSERT_TRUE(probe->Images(0, images));
  ASSERT_EQ(images.size(), 9u);
  for (size_t i = 0; i < images.size(); ++i) {
    const ImageSpec& input = i < 5 ? inputs[i] : inputs[i - 5 + (i - 5 >= 2 ? 1 : 0)];
    SCOPED_TRACE(testing::Message() << "image " << i << " kind " << input.kind);
    EXPECT_EQ(images[i].width, input.width);
    EXPECT_EQ(images[i].height, input.height);
    EXPECT_EQ(images[i].samples, Expected(input));
    if (!input.smask.empty()) {
      EXPECT_EQ(images[i].maskWidth, 7);
      EXPECT_EQ(images[i].mask, input.smask);
    }
  }
  EXPECT_TRUE(probe->Warnings().empty()) << probe->Warnings().front();
}

TEST(PdfWriter, AnnotationsAreDrawnButAreNotPageContent) {
  PdfWriter w;
  const std::string helv = w.AddStandardFont();
  const std::string form =
      w.AddForm("BT /" + helv + " 10 Tf 0 0 Td (In form) Tj ET", {0, 0, 100, 20});
  PageOptions o;
  o.annotationTexts = {"First note", "Second (note)"};
  o.annotationRects = {{300, 700, 500, 720}};
  w.AddPage(612, 792,
            "BT /" + helv + " 10 Tf 72 400 Td (Body) Tj ET q 1 0 0 1 72 300 cm /" + form + " Do Q",
            o);
  auto probe = OpenClean(w.Build());
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->Text(0, false), "Body\nIn form\n");
  const std::string all = probe->Text(0, true);
  EXPECT_NE(all.find("First note"), std::string::npos);
  EXPECT_NE(all.find("Second (note)"), std::string::npos);

  // The first note is where its rectangle says, the second in the default place.
  ProbePixmap pix;
  ASSERT_TRUE(probe->Render(0, 72, pix));
  auto ink = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += pix.At(x, y) < 128;
    return n;
  };
  EXPECT_GT(ink(300, 72, 500, 92), 0);
  EXPECT_GT(ink(36, 60, 336, 80), 0);
  EXPECT_TRUE(probe->Warnings().empty()) << probe->Warnings().front();
}

TEST(PdfWriter, PageBoxesAndRotation) {
  PdfWriter w;
  PageOptions o;
  o.rotate = 90;
  o.cropBox = std::array<double, 4>{10, 20, 210, 120};
  w.AddPage(300, 400, "", o);
  auto probe = OpenClean(w.Build());
  ASSERT_TRUE(probe);
  double b[4];
  ASSERT_TRUE(probe->Bounds(0, b));
  EXPECT_DOUBLE_EQ(b[2] - b[0], 100);  // crop box turned a quarter
  EXPECT_DOUBLE_EQ(b[3] - b[1], 200);
}

TEST(PdfWriter, EncryptedFileNeedsTheUserPassword) {
  PdfWriter w;
  const std::string song = w.AddCjkFont();
  PageOptions o;
  o.annotationTexts = {"Secret note"};
  o.compress = true;
  w.AddPage(300, 300, "BT /" + song + " 12 Tf 10 100 Td " + PdfHexUtf16(u"机密文件") + " Tj ET", o);
  w.SetEncrypted(true);
  const std::string bytes = w.Build();
  EXPECT_NE(bytes.find("/UniGB-UCS2-H"), std::string::npos);  // names stay readable
  EXPECT_EQ(bytes.find("(Adobe)"), std::string::npos);        // strings are encrypted too

  auto probe = OpenClean(bytes);
  ASSERT_TRUE(probe);
  EXPECT_TRUE(probe->NeedsPassword());
  EXPECT_FALSE(probe->Authenticate(""));
  EXPECT_FALSE(probe->Authenticate("wrong"));
  ASSERT_TRUE(probe->Authenticate(std::string(kEncryptedUserPassword)));
  EXPECT_EQ(probe->Text(0), "机密文件\n");
  EXPECT_NE(probe->Text(0, true).find("Secret note"), std::string::npos);

  auto owner = OpenClean(bytes);
  ASSERT_TRUE(owner);
  EXPECT_TRUE(owner->Authenticate(std::string(kEncryptedOwnerPassword)));
  EXPECT_EQ(owner->Text(0), "机密文件\n");
}

TEST(PdfWriter, OutputIsDeterministic) {
  auto make = [](bool encrypted) {
    PdfWriter w;
    const std::string f = w.AddStandardFont("Times-Roman");
    const std::string im = w.AddImage(MakeImage(ImageSpec::Rgb24, 4, 4));
    w.AddPage(100, 100,
              "BT /" + f + " 9 Tf 5 5 Td (x) Tj ET q 10 0 0 10 50 50 cm /" + im + " Do Q");
    w.SetEncrypted(encrypted);
    return w.Build();
  };
  EXPECT_EQ(make(false), make(false));
  EXPECT_EQ(make(true), make(true));
  EXPECT_NE(make(false), make(true));
  const std::string plain = make(false);
  EXPECT_EQ(plain.rfind("%%EOF\n"), plain.size() - 6);
  EXPECT_EQ(plain.find("CreationDate"), std::string::npos);
}

TEST(PdfWriter, RejectsInconsistentArguments) {
  PdfWriter w;
  ImageSpec short_ = MakeImage(ImageSpec::Rgb24, 4, 4);
  short_.pixels.pop_back();
  EXPECT_EQ(w.AddImage(short_), "");
  EXPECT_EQ(InlineImage(short_), "");
  ImageSpec noPalette = MakeImage(ImageSpec::Indexed8, 2, 2);
  noPalette.palette.clear();
  EXPECT_EQ(w.AddImage(noPalette), "");
  ImageSpec maskedStencil = MakeImage(ImageSpec::StencilMask1, 8, 1);
  maskedStencil.smask = {1};
  maskedStencil.smaskWidth = maskedStencil.smaskHeight = 1;
  EXPECT_EQ(w.AddImage(maskedStencil), "");
  EXPECT_EQ(w.AddImage(ImageSpec{}), "");
  EXPECT_EQ(w.AddType3Font("X", 0), "");
  EXPECT_EQ(w.AddType3Font("X", 223), "");
  EXPECT_EQ(w.AddType3Font("X", 2, 0xFE), "");
  EXPECT_EQ(w.AddType3Font("", 2), "");
  EXPECT_EQ(w.AddPage(0, 100, ""), 0);
  EXPECT_EQ(w.AddPage(100, std::nan(""), ""), 0);
  // Nothing was added: the next resources are still the first of their kind.
  EXPECT_EQ(w.AddType3Font("X", 222), "F1");
  EXPECT_EQ(w.AddImage(MakeImage(ImageSpec::Gray8, 1, 1)), "Im1");
  EXPECT_EQ(w.PageCount(), 0);
  EXPECT_FALSE(w.Save("/nonexistent-dir/x.pdf"));
}

TEST(PdfWriterHelpers, FormatContentStreamTokens) {
  EXPECT_EQ(PdfLiteral("a(b)c\\d\r\n"), "(a\\(b\\)c\\\\d\\r\\n)");
  EXPECT_EQ(PdfHexUtf16(u"中文A"), "<4E2D65870041>");
  EXPECT_EQ(PdfNum(12), "12");
  EXPECT_EQ(PdfNum(-0.00001), "0");
  EXPECT_EQ(PdfNum(3.14159), "3.1416");
  EXPECT_EQ(PdfNum(1417.5), "1417.5");
  EXPECT_EQ(Utf8ToUtf16("报A\xF0\x9F\x98\x80"), u"报A\U0001F600");
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\uFFFD\uFFFD");
}

}  // namespace
}  // namespace vtest
