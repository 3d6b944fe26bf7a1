// The image library as the system uses it: the CxImage class (creation from raw bits and
// palettes, alpha, resampling, rotation, flip and mirror, cropping, drawing, JPEG saving and
// packed bitmaps). Pictures, page renderings and glyph sheets keep their pixels in it.
#pragma once

#include <cximage/ximage.h>
