// FreeImage linked statically (as on Windows) knows no image format until
// it is initialised; with the shared library the call only counts one more
// user. Every function that hands FreeImage a file calls this first.
#pragma once

#include <FreeImage.h>

namespace korva {

inline void InitialiseFreeImage() {
  static const bool initialised = (FreeImage_Initialise(FALSE), true);
  (void)initialised;
}

}  // namespace korva
