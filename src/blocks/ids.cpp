// The component's class, interface, type-library and application identifiers, exported from
// the module so that clients linking against it resolve them. The values are those of
// velluma/velluma.h.
#pragma GCC visibility push(default)
#define VELLUMA_DEFINE_IDS
#include "velluma/velluma.h"
#pragma GCC visibility pop
