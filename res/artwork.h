// The artwork, drawn in code: banner bitmap 137 (700 x 99, and larger for scaled screens) and
// icon 128 (64, 48, 32 and 16 pixels). The pictures are made once, on first use.
#pragma once

#include "platform/dialog.h"

namespace res {

// The banner drawn for a device pixel ratio of scalePercent / 100 (100: the bitmap itself,
// 700 x 99; 150: 1050 x 149), so that a scaled screen shows it sharp.
const platform::Image* BannerBitmap(int scalePercent);
platform::IconHandle AppIcon();

// The drawing itself, for the file writer and the tests.
platform::Image DrawBanner(int scalePercent = 100);
platform::Image DrawIcon(int size);

}  // namespace res
