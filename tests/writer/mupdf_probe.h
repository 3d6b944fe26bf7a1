// Reads PDF bytes back with MuPDF so the writer's tests can check what a reader sees.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vtest {

struct ProbeChar {
  char32_t unicode;
  double x, y;  // origin, device space (y down)
  double size;
  std::string font;
};

struct ProbeImage {
  int width = 0, height = 0, n = 0;  // n: colour components plus alpha
  std::vector<unsigned char> samples;
  int maskWidth = 0, maskHeight = 0;  // soft mask, when the image has one
  std::vector<unsigned char> mask;
};

struct ProbePixmap {
  int width = 0, height = 0;
  std::vector<unsigned char> gray;  // rows top-down
  unsigned char At(int x, int y) const { return gray[static_cast<size_t>(y) * width + x]; }
};

class MuProbe {
 public:
  // Opens PDF bytes; null when MuPDF cannot open them at all.
  static std::unique_ptr<MuProbe> Open(const std::string& bytes);
  ~MuProbe();

  bool NeedsPassword();
  bool Authenticate(const std::string& password);
  bool WasRepaired();
  int PageCount();
  // Warnings MuPDF reported so far.
  const std::vector<std::string>& Warnings() const { return warnings_; }

  // Characters of page (0-based), content only or with annotations, white space as written;
  // false on failure.
  bool Chars(int page, bool withAnnotations, std::vector<ProbeChar>& out);
  // Page text as UTF-8, lines ending in '\n'.
  std::string Text(int page, bool withAnnotations = false);
  // Images drawn on the page, in drawing order, decoded.
  bool Images(int page, std::vector<ProbeImage>& out);
  // The page's bounds as MuPDF shows it (crop box, rotation applied): x0 y0 x1 y1.
  bool Bounds(int page, double out[4]);
  // Renders the page (with annotations) in grey at the given resolution.
  bool Render(int page, double dpi, ProbePixmap& out);

 private:
  MuProbe() = default;
  static void OnWarning(void* user, const char* message);

  struct Impl;
  Impl* impl_ = nullptr;
  std::string bytes_;
  std::vector<std::string> warnings_;
};

std::string ToUtf8(const std::u32string& text);

}  // namespace vtest
