// Helpers of the kit's text stream.
#pragma once

namespace pdfkit {

// Maps a CJK compatibility ideograph (U+F900..U+FAFF with a canonical decomposition) or a
// Kangxi radical (U+2F00..U+2FD5) to its unified ideograph; any other value is returned as it
// is. Fonts whose ToUnicode maps were built by reversing their cmap report such characters
// for common ideographs (年 as U+F98E, 十 as U+2F17), which text matching would then miss.
int MapCompatIdeograph(int ucs);

}  // namespace pdfkit
