// Screen metrics.
#include "vwin32/screen.h"

namespace vwin32 {

int GetScreenPixelsPerInch(bool /*vertical*/) {
  return kScreenPixelsPerInch;
}

}  // namespace vwin32
