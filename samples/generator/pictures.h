// Generated pictures for the sample pages: drawn scenes made of gradients and shapes, so
// that they are small, deterministic and plainly pictures.
#pragma once

#include "pdfwriter.h"

namespace samples {

vtest::ImageSpec HeatingPlantPhoto(int width, int height);  // RGB: dawn, plant, chimneys
vtest::ImageSpec TruckLinePhoto(int width, int height);     // RGB: lorries on a forecourt
vtest::ImageSpec PaperCutPhoto(int width, int height);      // grey: a paper-cut rosette
vtest::ImageSpec FireCheckPhoto(int width, int height);     // RGB: facade, fire engine
vtest::ImageSpec SnowRiverPhoto(int width, int height);     // grey: river, bridge, snow
vtest::ImageSpec LightShowPhoto(int width, int height);     // RGB: lights over a river at night
vtest::ImageSpec ReaderCode(int modules, int scale);        // bilevel: a two-dimensional code

}  // namespace samples
