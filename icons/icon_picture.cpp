#include "icons/icon_picture.h"

#include <FreeImage.h>

#include "icons/icon_page.h"

namespace korva {

Status ReadIconPicture(Platform& platform, const std::string& path, IconPicture* picture) {
  *picture = IconPicture();
  Status loaded;
  Image icon = LoadPageIcon(platform, path, &loaded);
  if (!icon) return Status::Error("The icon cannot be shown: " + loaded.message() + ".");
  picture->width = FreeImage_GetWidth(icon.get());
  picture->height = FreeImage_GetHeight(icon.get());
  picture->rgba.resize(static_cast<size_t>(picture->width) * picture->height * 4);
  uint8_t* out = picture->rgba.data();
  // FreeImage keeps the bottom row first, each pixel in its own byte order.
  for (unsigned y = picture->height; y-- > 0;) {
    const uint8_t* pixel = FreeImage_GetScanLine(icon.get(), static_cast<int>(y));
    for (unsigned x = 0; x < picture->width; ++x, pixel += 4) {
      *out++ = pixel[FI_RGBA_RED];
      *out++ = pixel[FI_RGBA_GREEN];
      *out++ = pixel[FI_RGBA_BLUE];
      *out++ = pixel[FI_RGBA_ALPHA];
    }
  }
  return Status::Ok();
}

}  // namespace korva
