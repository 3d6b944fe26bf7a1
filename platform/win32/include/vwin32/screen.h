// Screen metrics. There is no screen device context on Linux: the values are fixed.
#pragma once

namespace vwin32 {

constexpr int kScreenPixelsPerInch = 96;

// Pixels per logical inch of the screen: GetDeviceCaps(hdcScreen, LOGPIXELSX) when vertical is
// false, LOGPIXELSY when true. Always 96.
int GetScreenPixelsPerInch(bool vertical);

}  // namespace vwin32
