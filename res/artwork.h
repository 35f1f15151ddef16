// The artwork, drawn in code: banner bitmap 137 (700 x 99) and icon 128 (64, 48, 32 and 16
// pixels). The pictures are made once, on first use.
#pragma once

#include "platform/dialog.h"

namespace res {

const platform::Image* BannerBitmap();
platform::IconHandle AppIcon();

// The drawing itself, for the file writer and the tests.
platform::Image DrawBanner();
platform::Image DrawIcon(int size);

}  // namespace res
