#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "block_fixture.h"
#include "blocks/picblock.h"

namespace {

// A DIB as the kit delivers it: header, colour table, rows padded to 4 bytes. Pixel values
// are given top row first; positive height stores the rows bottom-up.
struct Dib {
  std::vector<BYTE> header;  // BITMAPINFOHEADER + colour table
  std::vector<BYTE> bits;
  const BITMAPINFOHEADER* Header() const {
    return reinterpret_cast<const BITMAPINFOHEADER*>(header.data());
  }
};

Dib MakeDib(int w, int h, int bpp, const std::vector<BYTE>& topDownPixels,
            const std::vector<RGBQUAD>& palette, bool storeTopDown = false) {
  Dib dib;
  const int colors = bpp <= 8 ? 1 << bpp : 0;
  dib.header.resize(sizeof(BITMAPINFOHEADER) + colors * sizeof(RGBQUAD));
  BITMAPINFOHEADER head{};
  head.biSize = sizeof(BITMAPINFOHEADER);
  head.biWidth = w;
  head.biHeight = storeTopDown ? -h : h;
  head.biPlanes = 1;
  head.biBitCount = static_cast<WORD>(bpp);
  head.biClrUsed = static_cast<DWORD>(colors);
  std::memcpy(dib.header.data(), &head, sizeof(head));
  for (int i = 0; i < colors && i < static_cast<int>(palette.size()); ++i) {
    std::memcpy(dib.header.data() + sizeof(head) + i * sizeof(RGBQUAD), &palette[i],
                sizeof(RGBQUAD));
  }
  const int rowBytes = w * bpp / 8;
  const int stride = ((bpp * w + 31) / 32) * 4;
  dib.bits.assign(static_cast<size_t>(stride) * h, 0);
  for (int y = 0; y < h; ++y) {
    const int memRow = storeTopDown ? y : h - 1 - y;
    std::memcpy(dib.bits.data() + memRow * stride, topDownPixels.data() + y * rowBytes, rowBytes);
  }
  return dib;
}

std::vector<RGBQUAD> GreyRamp() {
  std::vector<RGBQUAD> pal(256);
  for (int i = 0; i < 256; ++i) pal[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  return pal;
}

// A 24-bit image of one colour, w x h, as BGR bytes.
std::vector<BYTE> SolidBgr(int w, int h, BYTE b, BYTE g, BYTE r) {
  std::vector<BYTE> px(static_cast<size_t>(w * h) * 3);
  for (size_t i = 0; i < px.size(); i += 3) {
    px[i] = b;
    px[i + 1] = g;
    px[i + 2] = r;
  }
  return px;
}

bool IsRed(RGBQUAD c) {
  return c.rgbRed > 250 && c.rgbGreen < 5 && c.rgbBlue < 5;
}
bool IsWhite(RGBQUAD c) {
  return c.rgbRed > 250 && c.rgbGreen > 250 && c.rgbBlue > 250;
}

}  // namespace

class PicBlockTest : public ::testing::Test {
 protected:
  CPageInfo info;
};

TEST_F(PicBlockTest, ImageWithoutMaskKeepsPaletteAndOrientation) {
  std::vector<RGBQUAD> pal(256, RGBQUAD{0, 0, 0, 0});
  pal[1] = RGBQUAD{0, 0, 255, 0};  // red
  pal[2] = RGBQUAD{255, 0, 0, 0};  // blue
  // Top row: 1 1 1; bottom row: 2 2 2.
  for (bool topDown : {false, true}) {
    Dib dib = MakeDib(3, 2, 8, {1, 1, 1, 2, 2, 2}, pal, topDown);
    CPicBlock pic(&info);
    ASSERT_TRUE(pic.CreatePicImage(dib.Header(), dib.bits.data(), nullptr, nullptr));
    IPicBlock* ip = &pic;
    EXPECT_EQ(ip->GetWidth(), 3u);
    EXPECT_EQ(ip->GetHeight(), 2u);
    EXPECT_EQ(ip->GetBpp(), 8u);
    ASSERT_NE(ip->GetDIB(), nullptr);
    // CxImage rows count bottom-up: y = 1 is the top row.
    EXPECT_TRUE(IsRed(pic.m_pImage->GetPixelColor(0, 1))) << topDown;
    EXPECT_EQ(pic.m_pImage->GetPixelIndex(2, 0), 2) << topDown;
  }
}

TEST_F(PicBlockTest, MaskBecomesAlphaAndMaskedPixelsTurnWhite) {
  Dib image = MakeDib(2, 1, 24, SolidBgr(2, 1, 0, 0, 255), {});
  Dib mask = MakeDib(2, 1, 8, {0, 255}, GreyRamp());
  CPicBlock pic(&info);
  ASSERT_TRUE(
      pic.CreatePicImage(image.Header(), image.bits.data(), mask.Header(), mask.bits.data()));
  EXPECT_EQ(pic.GetBpp(), 24u);
  EXPECT_FALSE(pic.m_pImage->AlphaIsValid());
  EXPECT_TRUE(IsWhite(pic.m_pImage->GetPixelColor(0, 0)));
  EXPECT_TRUE(IsRed(pic.m_pImage->GetPixelColor(1, 0)));

  // A mask header without bits is no mask.
  ASSERT_TRUE(pic.CreatePicImage(image.Header(), image.bits.data(), mask.Header(), nullptr));
  EXPECT_TRUE(IsRed(pic.m_pImage->GetPixelColor(0, 0)));
}

TEST_F(PicBlockTest, MaskOfAnotherSizeIsResampledFirst) {
  Dib image = MakeDib(8, 4, 24, SolidBgr(8, 4, 0, 0, 255), {});
  // 2 x 1 mask: left half hidden, right half shown.
  Dib mask = MakeDib(2, 1, 8, {0, 255}, GreyRamp());
  CPicBlock pic(&info);
  ASSERT_TRUE(
      pic.CreatePicImage(image.Header(), image.bits.data(), mask.Header(), mask.bits.data()));
  ASSERT_EQ(pic.GetWidth(), 8u);
  for (long y = 0; y < 4; ++y) {
    EXPECT_TRUE(IsWhite(pic.m_pImage->GetPixelColor(0, y))) << y;
    EXPECT_TRUE(IsRed(pic.m_pImage->GetPixelColor(7, y))) << y;
  }
}

TEST_F(PicBlockTest, FailedCreationStillLeavesAnImageObject) {
  Dib image = MakeDib(2, 2, 24, SolidBgr(2, 2, 1, 2, 3), {});
  CPicBlock pic(&info);
  EXPECT_FALSE(pic.CreatePicImage(image.Header(), nullptr, nullptr, nullptr));
  ASSERT_NE(pic.m_pImage, nullptr);
  EXPECT_FALSE(pic.m_pImage->IsValid());
  EXPECT_EQ(pic.GetWidth(), 0u);
  EXPECT_EQ(pic.SaveImage(u"never-written.jpg"), 1);
  // A picture that never had an image answers without one.
  CPicBlock bare(&info);
  EXPECT_EQ(bare.GetDIB(), nullptr);
  EXPECT_EQ(bare.GetBpp(), 0u);
}

TEST_F(PicBlockTest, SaveImageAlwaysWritesJpeg) {
  const auto dir = std::filesystem::path(VELLUMA_TEST_TMP) / "blocks";
  std::filesystem::create_directories(dir);
  const auto readHead = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    unsigned char head[3] = {};
    in.read(reinterpret_cast<char*>(head), 3);
    return std::vector<int>{head[0], head[1], head[2]};
  };
  const std::vector<int> jpegMagic = {0xFF, 0xD8, 0xFF};

  std::vector<RGBQUAD> pal(256, RGBQUAD{0, 0, 0, 0});
  pal[1] = RGBQUAD{0, 200, 0, 0};
  Dib dib = MakeDib(4, 4, 8, std::vector<BYTE>(16, 1), pal);

  // .png: JPEG data under that name; the depth is left alone.
  CPicBlock png(&info);
  png.CreatePicImage(dib.Header(), dib.bits.data(), nullptr, nullptr);
  const auto pngPath = dir / "picture.png";
  std::filesystem::remove(pngPath);
  EXPECT_EQ(png.SaveImage(pngPath.u16string().c_str()), 0);
  EXPECT_EQ(readHead(pngPath), jpegMagic);
  EXPECT_EQ(png.GetBpp(), 8u);

  // .jpg: an 8-bit image is raised to 24 bits first.
  CPicBlock jpg(&info);
  jpg.CreatePicImage(dib.Header(), dib.bits.data(), nullptr, nullptr);
  const auto jpgPath = dir / "picture.jpg";
  EXPECT_EQ(jpg.SaveImage(jpgPath.u16string().c_str()), 0);
  EXPECT_EQ(readHead(jpgPath), jpegMagic);
  EXPECT_EQ(jpg.GetBpp(), 24u);

  // A write failure is reported through the result only.
  EXPECT_EQ(jpg.SaveImage((dir / "missing" / "x.jpg").u16string().c_str()), 1);
}

TEST_F(PicBlockTest, CaptionDrivesTextListAndHtml) {
  CPicBlock pic(&info);
  IPicBlock* ip = &pic;
  IBlockList* list = reinterpret_cast<IBlockList*>(0x1);
  EXPECT_EQ(ip->GetTextList(&list, 0), E_FAIL);
  EXPECT_EQ(list, reinterpret_cast<IBlockList*>(0x1));
  BSTR html = nullptr;
  EXPECT_EQ(ip->GetHtml(&html), E_FAIL);
  int count = 0;
  EXPECT_EQ(ip->GetRegionCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(ip->GetReservedProp(nullptr), E_FAIL);

  // The caption is a group with a child; both are deleted with the picture.
  pic.m_pCaption = MakeBlock(&info, 0, 0, 1, 1, u"caption");
  pic.m_pCaption->m_children.Add(MakeBlock(&info, 0, 0, 1, 1, u"child"));
  EXPECT_EQ(ip->GetHtml(&html), E_FAIL);  // caption HTML still empty
  pic.m_pCaption->m_strHtml = u"<p>c</p>";
  ASSERT_EQ(ip->GetHtml(&html), S_OK);
  EXPECT_EQ(TakeBstr(html), u"<p>c</p>");
  ASSERT_EQ(ip->GetTextList(&list, 7), S_OK);
  long n = 0;
  list->GetCount(&n);
  EXPECT_EQ(n, 1);
  long* item = nullptr;
  list->GetItemAt(0, &item);
  EXPECT_EQ(reinterpret_cast<ITextBlock*>(item), static_cast<ITextBlock*>(pic.m_pCaption));
  EXPECT_EQ(list->Release(), 0u);
}

TEST_F(PicBlockTest, PlaceholderStandsForThePicture) {
  CPicBlock pic(&info);
  pic.m_dLeft = 1, pic.m_dTop = 2, pic.m_dRight = 3, pic.m_dBottom = 4;
  for (int seq : {0, 12}) {
    pic.m_nSeq = seq;
    CTextBlock* holder = pic.MakePlaceholder();
    EXPECT_EQ(holder->m_nFirstSeq, -1 - seq);
    EXPECT_EQ(holder->GetType(), TBT_PICTURE);
    EXPECT_EQ(holder->m_strText, seq == 0 ? u"FakePic: 0" : u"FakePic: 12");
    EXPECT_EQ(holder->m_dBottom, 4);
    EXPECT_EQ(holder->m_pPageInfo, &info);
    delete holder;
  }
}
