// One line on the debug trace (stderr, only when VELLUMA_DEBUG is set).
#pragma once

namespace glyphrec {
void Trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
}
