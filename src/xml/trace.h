// Developer diagnostics. The product writes no logs: a trace goes to standard error only when
// the environment variable VELLUMA_DEBUG is set (to any value) and is dropped otherwise.
#pragma once

#include <string_view>

namespace velluma {

// True when VELLUMA_DEBUG is set; looked up on every call.
bool DebugTraceEnabled();

// Writes the text, as UTF-8 and unchanged (no line end is added), to standard error when
// tracing is enabled.
void DebugTrace(std::u16string_view text);

}  // namespace velluma
