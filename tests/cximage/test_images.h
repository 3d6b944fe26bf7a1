// Small helpers for the image class tests.
#pragma once

#include "cximage/ximage.h"

inline RGBQUAD Rgb(BYTE r, BYTE g, BYTE b, BYTE reserved = 0) {
  return RGBQUAD{b, g, r, reserved};
}

inline bool SameColor(RGBQUAD a, RGBQUAD b) {
  return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// Colours equal within tol per channel.
inline bool NearColor(RGBQUAD a, RGBQUAD b, int tol) {
  const auto near = [tol](int x, int y) { return x - y <= tol && y - x <= tol; };
  return near(a.rgbRed, b.rgbRed) && near(a.rgbGreen, b.rgbGreen) && near(a.rgbBlue, b.rgbBlue);
}

// An image of one colour (grey palette for 8 bits or less, so the nearest grey there).
inline CxImage Solid(DWORD w, DWORD h, DWORD bpp, RGBQUAD c) {
  CxImage img;
  img.Create(w, h, bpp);
  for (DWORD y = 0; y < h; ++y)
    for (DWORD x = 0; x < w; ++x) img.SetPixelColor(x, y, c);
  return img;
}

inline int CountIndex(const CxImage& img, BYTE idx) {
  int n = 0;
  for (DWORD y = 0; y < img.GetHeight(); ++y)
    for (DWORD x = 0; x < img.GetWidth(); ++x) n += img.GetPixelIndex(x, y) == idx;
  return n;
}

// A w x h image whose pixel (x, y) has index (or grey level) x + w * y, so that every pixel is
// told apart; bpp 8, 24 or 32. With alpha, the alpha of (x, y) is 255 - (x + w * y).
inline CxImage Numbered(DWORD w, DWORD h, DWORD bpp, bool alpha) {
  CxImage img;
  img.Create(w, h, bpp);
  if (alpha) img.AlphaSet(BYTE{0});
  for (DWORD y = 0; y < h; ++y) {
    for (DWORD x = 0; x < w; ++x) {
      const BYTE v = static_cast<BYTE>(x + w * y);
      if (bpp <= 8) {
        img.SetPixelIndex(x, y, v);
      } else {
        img.SetPixelColor(x, y, Rgb(v, static_cast<BYTE>(255 - v), v));
      }
      if (alpha) *img.AlphaGetPointer(x, y) = static_cast<BYTE>(255 - v);
    }
  }
  return img;
}

// The number Numbered gave the pixel now at (x, y), from its red (or grey) value.
inline int Label(const CxImage& img, long x, long y) {
  return img.GetPixelColor(x, y).rgbRed;
}
